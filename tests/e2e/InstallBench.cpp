// Install benchmark: Setup.exe against three floors for the same files, in
// turns in one run under Wine:
//   copy      plain CopyFile;
//   durable   CopyFile, then FlushFileBuffers of each copy;
//   register  durable, then SetupCopyOEMInf of each INF: what Windows itself
//             costs to make the files durable and register the driver.
// Setup.exe's time runs from the click on Install to its message, less the
// same time for a package with no files.
//
// A realistic package: 10 files of 30 MB in all (4 .inf, 6 .sys) into folders
// that already hold 1,500 (Inf) and 500 (System32\Drivers) files, half of the
// package replacing older versions. And a stress case without a goal: 2,000
// files of 1 KB, new and then over their old versions.
//   setup_install_bench SETUP_EXE PLAIN_COPY_EXE RUNS
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Harness.h"

namespace {

const std::wstring kInf = L"C:\\windows\\inf";
const std::wstring kDrivers = L"C:\\windows\\system32\\drivers";

double Now()
{
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void RemoveMatching(const std::wstring& folder, const std::wstring& pattern)
{
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    while (FindNextFileW(search, &found));
    FindClose(search);
}

std::string Inf(const std::string& name, std::size_t size)
{
    std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=USB\r\n"
                       "ClassGuid={36FC9E60-C465-11CF-8056-444553540000}\r\nProvider=%P%\r\n"
                       "DriverVer=12/07/2026,1.0.0.0\r\n\r\n[Strings]\r\nP=\"" + name + "\"\r\n";
    while (text.size() < size) text += "; " + name + " padding to a size of a real INF file\r\n";
    return text;
}

std::string Bytes(std::size_t size, int seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = char(i * 131 + i / 4096 + std::size_t(seed));
    return bytes;
}

// Milliseconds from the click on Install to the message.
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

double TimeFloor(const std::wstring& program, const wchar_t* mode, const e2e::Package& package)
{
    const std::wstring result = package.Path(L"floor-ms.txt");
    std::wstring command = L"\"" + program + L"\" " + mode + L" \"" + package.Path(L"Driver") + L"\" \"" + result + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return -1;
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return code == 0 ? std::stod(e2e::ReadFileBytes(result)) : -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Scenario {
    const char* name;
    std::vector<std::pair<std::wstring, std::string>> files;  // package files
    std::vector<std::pair<std::wstring, std::string>> old;    // installed before each run (full paths)
};

// Puts the folders back as the scenario starts: its files gone, the old
// versions in place.
void Reset(const Scenario& scenario)
{
    RemoveMatching(kInf, L"bench-*");
    RemoveMatching(kDrivers, L"bench-*");
    RemoveMatching(kDrivers, L"~setup-*");
    for (const auto& [path, bytes] : scenario.old) e2e::WriteFileBytes(path, bytes);
}

bool Run(const Scenario& scenario, const std::wstring& plain, int runs, double overhead, int floors)
{
    e2e::Package package(L"bench");
    for (const auto& [name, bytes] : scenario.files) package.WriteFile(L"Driver\\" + name, bytes);
    const wchar_t* modes[] = {L"copy", L"durable", L"register"};
    std::vector<double> setupTimes, floorTimes[3];
    for (int run = 0; run < runs; ++run) {
        for (int f = 0; f < floors; ++f) {
            Reset(scenario);
            floorTimes[f].push_back(TimeFloor(plain, modes[f], package));
        }
        Reset(scenario);
        setupTimes.push_back(TimeSetup(package) - overhead);
    }
    Reset(scenario);
    RemoveMatching(kInf, L"bench-*");
    RemoveMatching(kDrivers, L"bench-*");
    const double setup = Median(setupTimes);
    if (setup < -overhead) {
        std::fprintf(stderr, "%s: Setup.exe did not finish\n", scenario.name);
        return false;
    }
    std::printf("%s, median of %d runs:\n  Setup.exe              %9.1f ms\n", scenario.name, runs, setup);
    const char* labels[] = {"plain CopyFile        ", "durable copy          ", "durable + driver store"};
    for (int f = 0; f < floors; ++f) {
        const double floor = Median(floorTimes[f]);
        if (floor < 0) {
            std::fprintf(stderr, "%s: the %ls floor failed\n", scenario.name, modes[f]);
            return false;
        }
        std::printf("  %s %9.1f ms   Setup.exe / this: %.2f%s\n", labels[f], floor, setup / floor,
                    f == 2 ? " (goal: at most 1.30)" : "");
    }
    return true;
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

    // Folders as a used Windows has them.
    for (int i = 0; i < 1500; ++i)
        e2e::WriteFileBytes(kInf + L"\\benchfill-" + std::to_wstring(i) + L".inf", Inf("filler " + std::to_string(i), 2000));
    for (int i = 0; i < 500; ++i)
        e2e::WriteFileBytes(kDrivers + L"\\benchfill-" + std::to_wstring(i) + L".sys", Bytes(4096, i));

    e2e::Package empty(L"bench-empty");
    std::vector<double> baseline;
    for (int run = 0; run < runs; ++run) baseline.push_back(TimeSetup(empty));
    const double overhead = Median(baseline);
    std::printf("click to message with no files: %.1f ms (taken off Setup.exe's times)\n", overhead);

    Scenario realistic{"10 files, 30 MB, half replacing older versions", {}, {}};
    for (int i = 0; i < 4; ++i) {
        const std::wstring name = L"bench-" + std::to_wstring(i) + L".inf";
        realistic.files.emplace_back(name, Inf("bench " + std::to_string(i), 40000));
        if (i < 2) realistic.old.emplace_back(kInf + L"\\" + name, Inf("old bench " + std::to_string(i), 30000));
    }
    for (int i = 0; i < 6; ++i) {
        const std::wstring name = L"bench-" + std::to_wstring(i) + L".sys";
        realistic.files.emplace_back(name, Bytes(5216 * 1024, i));
        if (i < 3) realistic.old.emplace_back(kDrivers + L"\\" + name, Bytes(4000 * 1024, 100 + i));
    }
    bool ok = Run(realistic, plain, runs, overhead, 3);

    for (const bool replacing : {false, true}) {
        Scenario stress{replacing ? "2,000 files of 1 KB over their old versions" : "2,000 new files of 1 KB", {}, {}};
        for (int i = 0; i < 2000; ++i) {
            const std::wstring name = L"bench-" + std::to_wstring(i) + L".sys";
            stress.files.emplace_back(name, Bytes(1024, i));
            if (replacing) stress.old.emplace_back(kDrivers + L"\\" + name, Bytes(1000, i + 1));
        }
        ok = Run(stress, plain, runs, overhead, 2) && ok;  // no INF to register
    }

    RemoveMatching(kInf, L"benchfill-*");
    RemoveMatching(kDrivers, L"benchfill-*");
    return ok ? 0 : 1;
}
