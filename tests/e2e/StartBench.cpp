// Start-up benchmark: time from process start to a visible window, for
// Setup.exe on a package and for two floors: a bare window of the same size,
// and the same bare window with Setup.exe's manifest (visual styles and DPI
// awareness, which load DLLs of their own). Started in turns in one run;
// prints the medians and Setup.exe's ratio to each.
//   setup_bench SETUP_PACKAGE_EXE BARE_EXE BARE_STYLED_EXE RUNS
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Harness.h"

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double TimeToWindow(const std::wstring& program)
{
    e2e::SetupProcess process(program);
    HWND window = process.MainWindow();
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
    for (int i = 0; i < runs; ++i)
        for (int p = 0; p < 3; ++p) times[p].push_back(TimeToWindow(programs[p]));
    for (const auto& t : times)
        if (std::count(t.begin(), t.end(), -1.0)) {
            std::fprintf(stderr, "a window did not appear\n");
            return 1;
        }
    const double setup = Median(times[0]), bare = Median(times[1]), styled = Median(times[2]);
    std::printf("time to a visible window, median of %d starts each:\n", runs);
    std::printf("  Setup.exe                         %8.1f ms\n", setup);
    std::printf("  bare window                       %8.1f ms   Setup.exe / this: %.2f\n", bare, setup / bare);
    std::printf("  bare window with Setup's manifest %8.1f ms   Setup.exe / this: %.2f (goal: at most 1.05)\n", styled,
                setup / styled);
    return 0;
}
