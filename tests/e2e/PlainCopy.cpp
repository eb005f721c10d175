// The yardstick for the install benchmark: copies DRIVER\*.sys into DEST
// with plain CopyFile, the way a naive installer would, and writes the
// milliseconds it took into RESULT.  plain_copy DRIVER DEST RESULT
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 4) return 2;
    const std::wstring source = argv[1], destination = argv[2];
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((source + L"\\*.sys").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do CopyFileW((source + L"\\" + found.cFileName).c_str(), (destination + L"\\" + found.cFileName).c_str(), FALSE);
        while (FindNextFileW(search, &found));
        FindClose(search);
    }
    QueryPerformanceCounter(&end);
    FILE* result = _wfopen(argv[3], L"w");
    if (!result) return 1;
    std::fprintf(result, "%.3f\n", double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
    std::fclose(result);
    return 0;
}
