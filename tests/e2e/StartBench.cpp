// Start-up benchmark: time from process start to a visible window, for
// Setup.exe on a package and for two floors: a bare window of the same size,
// and the same bare window with Setup.exe's manifest (visual styles and DPI
// awareness, which load DLLs of their own). Started in turns in one run,
// the order changing from round to round; prints the minimum and median of
// each and Setup.exe's ratios to them.
//   setup_bench SETUP_PACKAGE_EXE BARE_EXE BARE_STYLED_EXE RUNS
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Harness.h"

namespace {

double Min(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double TimeToWindow(const std::wstring& program)
{
    e2e::SetupProcess process(program);
    HWND window = process.MainWindow(10000, 1);
    if (!window) return -1;
    const double ms = process.MillisecondsToWindow();
    PostMessageW(window, WM_CLOSE, 0, 0);
    process.WaitForExit();
    return ms;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "usage: setup_bench SETUP_PACKAGE_EXE BARE_EXE BARE_STYLED_EXE RUNS\n");
        return 2;
    }
    const std::wstring programs[] = {argv[1], argv[2], argv[3]};
    const int runs = std::max(1, _wtoi(argv[4]));
    std::vector<double> times[3];
    for (const auto& program : programs) TimeToWindow(program);  // warm the file cache
    // Each round takes the next of the six orders, so that each program
    // follows each other about as often: a start right after another
    // program's end can be much slower (25 ms at the minimum, measured with
    // one program in two places of a fixed order).
    int order[] = {0, 1, 2};
    for (int i = 0; i < runs; ++i) {
        for (const int p : order) times[p].push_back(TimeToWindow(programs[p]));
        std::next_permutation(std::begin(order), std::end(order));
    }
    for (const auto& t : times)
        if (std::count(t.begin(), t.end(), -1.0)) {
            std::fprintf(stderr, "a window did not appear\n");
            return 1;
        }
    std::printf("time to a visible window, %d starts each (minimum, median):\n", runs);
    const char* const labels[] = {"Setup.exe                        ", "bare window                      ",
                                  "bare window with Setup's manifest"};
    for (int p = 0; p < 3; ++p) {
        std::printf("  %s %7.1f %7.1f ms", labels[p], Min(times[p]), Median(times[p]));
        if (p > 0)
            std::printf("   Setup.exe / this: %.2f, %.2f%s", Min(times[0]) / Min(times[p]), Median(times[0]) / Median(times[p]),
                        p == 2 ? " (goal: at most 1.10)" : "");
        std::printf("\n");
    }
    return 0;
}
