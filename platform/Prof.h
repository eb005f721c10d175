#pragma once
#include <windows.h>
#include <cstdio>
namespace prof {
inline double Now() { FILETIME ft; GetSystemTimePreciseAsFileTime(&ft); return (double(ULONGLONG(ft.dwHighDateTime) << 32 | ft.dwLowDateTime)) / 10000.0; }
inline double Created() { FILETIME c, e, k, u; GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u); return (double(ULONGLONG(c.dwHighDateTime) << 32 | c.dwLowDateTime)) / 10000.0; }
inline void Mark(const char* what) {
    static double last = Created();
    double now = Now();
    if (GetEnvironmentVariableA("SETUP_PROF", nullptr, 0)) fprintf(stderr, "%-14s %6.2f\n", what, now - last);
    last = now;
}
}
