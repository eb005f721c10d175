// Install benchmark: Setup.exe's copies against plain CopyFile of the same
// files into the same folder, for 2,000 small files and for 20 files of
// 10 MB, in turns in one run: first into an empty folder, then over the
// files already there (where Setup.exe replaces each through a temporary
// file). Setup.exe's time is from the click on Install to its message, less
// the same time for a package with no files.
//   setup_install_bench SETUP_EXE PLAIN_COPY_EXE RUNS
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Harness.h"

namespace {

const std::wstring kDrivers = L"C:\\windows\\system32\\drivers";

double Now()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void RemoveBenchFiles()
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((kDrivers + L"\\bench-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do DeleteFileW((kDrivers + L"\\" + found.cFileName).c_str());
    while (FindNextFileW(search, &found));
    FindClose(search);
}

// Milliseconds from the click on Install to the completion message.
double TimeSetup(const e2e::Package& package)
{
    e2e::SetupProcess setup(package);
    HWND window = setup.MainWindow();
    if (!window) return -1;
    const double start = Now();
    PostMessageW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0);
    HWND box = setup.MessageBox(600000);
    const double ms = Now() - start;
    if (!box) return -1;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    setup.WaitForExit();
    return ms;
}

double TimePlain(const std::wstring& program, const e2e::Package& package)
{
    const std::wstring result = package.Path(L"plain-ms.txt");
    std::wstring command = L"\"" + program + L"\" \"" + package.Path(L"Driver") + L"\" \"" + kDrivers + L"\" \"" +
                           result + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return std::stod(e2e::ReadFileBytes(result));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: setup_install_bench SETUP_EXE PLAIN_COPY_EXE RUNS\n");
        return 2;
    }
    e2e::g_setupExe = argv[1];
    const std::wstring plain = argv[2];
    const int runs = std::max(1, _wtoi(argv[3]));

    struct Scenario {
        const char* name;
        int files;
        std::size_t size;
    };
    e2e::Package empty(L"bench-empty");
    std::vector<double> baseline;
    for (int run = 0; run < runs; ++run) baseline.push_back(TimeSetup(empty));
    const double overhead = Median(baseline);
    std::printf("click to message with no files: %.1f ms (taken off the times below)\n", overhead);

    const Scenario scenarios[] = {{"2,000 files of 1 KB", 2000, 1024}, {"20 files of 10 MB", 20, 10u << 20}};
    for (const auto& scenario : scenarios) {
        e2e::Package package(L"bench");
        std::string bytes(scenario.size, '\0');
        for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 131 + i / 4096);
        for (int i = 0; i < scenario.files; ++i)
            package.WriteFile(L"Driver\\bench-" + std::to_wstring(i) + L".sys", bytes);

        for (const bool replacing : {false, true}) {
            std::vector<double> setupTimes, plainTimes;
            for (int run = 0; run < runs; ++run) {
                if (!replacing) RemoveBenchFiles();
                plainTimes.push_back(TimePlain(plain, package));
                if (!replacing) RemoveBenchFiles();
                setupTimes.push_back(TimeSetup(package) - overhead);
            }
            const double s = Median(setupTimes), p = Median(plainTimes);
            if (s < -overhead || p < 0) {
                std::fprintf(stderr, "%s: a run failed\n", scenario.name);
                return 1;
            }
            std::printf("%-20s %-14s Setup.exe %9.1f ms   plain CopyFile %9.1f ms   ratio %.2f (goal: at most 1.50)\n",
                        scenario.name, replacing ? "over old ones" : "new", s, p, s / p);
        }
        RemoveBenchFiles();
    }
    return 0;
}
