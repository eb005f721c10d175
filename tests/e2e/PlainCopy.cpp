// The yardsticks for the install benchmark: what the same files cost done
// the plain way, into the same folders Setup.exe uses.
//   plain_copy MODE DRIVER RESULT
// MODE copy: CopyFile of each *.inf, *.sys to its folder;
//      durable: CopyFile, then FlushFileBuffers of each copy;
//      register: SetupCopyOEMInf of each INF from DRIVER, then durable.
//      (Registered first: Wine takes an INF identical to one already in
//      C:\windows\inf without reading it, which would hide its cost.)
// Writes the milliseconds it took into RESULT.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> Names(const std::wstring& folder, const wchar_t* pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool Flush(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const BOOL ok = FlushFileBuffers(file);
    CloseHandle(file);
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) return 2;
    const std::wstring mode = argv[1], source = argv[2];
    const bool durable = mode != L"copy", registering = mode == L"register";
    const struct {
        const wchar_t* pattern;
        const wchar_t* folder;
    } passes[] = {{L"*.inf", L"C:\\windows\\inf"}, {L"*.sys", L"C:\\windows\\system32\\drivers"}};

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    bool ok = true;
    if (registering)
        for (const auto& name : Names(source, L"*.inf"))
            ok = SetupCopyOEMInfW((source + L"\\" + name).c_str(), nullptr, SPOST_PATH, 0, nullptr, 0, nullptr,
                                  nullptr) &&
                 ok;
    for (const auto& pass : passes)
        for (const auto& name : Names(source, pass.pattern)) {
            const std::wstring target = std::wstring(pass.folder) + L"\\" + name;
            ok = CopyFileW((source + L"\\" + name).c_str(), target.c_str(), FALSE) && ok;
            if (durable) ok = Flush(target) && ok;
        }
    QueryPerformanceCounter(&end);
    FILE* result = _wfopen(argv[3], L"w");
    if (!result) return 1;
    std::fprintf(result, "%.3f\n", double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
    std::fclose(result);
    return ok ? 0 : 1;
}
