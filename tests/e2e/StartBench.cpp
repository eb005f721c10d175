// Start-up benchmark: time from process start to a visible window, for
// Setup.exe on a package and for a bare window of the same size, started in
// turns in one run. Prints the medians and their ratio.
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
    if (argc < 4) {
        std::fprintf(stderr, "usage: setup_bench SETUP_PACKAGE_EXE BARE_EXE RUNS\n");
        return 2;
    }
    const std::wstring setup = argv[1], bare = argv[2];
    const int runs = std::max(1, _wtoi(argv[3]));
    std::vector<double> setupTimes, bareTimes;
    TimeToWindow(setup);  // warm the file cache for both
    TimeToWindow(bare);
    for (int i = 0; i < runs; ++i) {
        setupTimes.push_back(TimeToWindow(setup));
        bareTimes.push_back(TimeToWindow(bare));
    }
    if (std::count(setupTimes.begin(), setupTimes.end(), -1.0) || std::count(bareTimes.begin(), bareTimes.end(), -1.0)) {
        std::fprintf(stderr, "a window did not appear\n");
        return 1;
    }
    const double s = Median(setupTimes), b = Median(bareTimes);
    std::printf("time to a visible window, median of %d starts each:\n", runs);
    std::printf("  Setup.exe    %8.1f ms\n  bare window  %8.1f ms\n  ratio        %8.2f (goal: at most 1.10)\n", s, b,
                s / b);
    return 0;
}
