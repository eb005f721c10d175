#include "platform/WinFileFacts.h"

#include <windows.h>
#include <setupapi.h>
#include <winver.h>


#include "platform/WinApi.h"
#include "platform/WinHandles.h"

namespace setup {
namespace {

using win::LongPath;

using SizeOf = decltype(::GetFileVersionInfoSizeW);
using InfoOf = decltype(::GetFileVersionInfoW);
using Query = decltype(::VerQueryValueW);
using OpenInf = decltype(::SetupOpenInfFileW);
using LineText = decltype(::SetupGetLineTextW);
using CloseInf = decltype(::SetupCloseInfFile);

// Only another program's hold on the file keeps it from being read; any
// other refusal means it has no version to give.
bool Held(std::uint32_t error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

}  // namespace

void WinFileFacts::Prepare()
{
    if (m_prepared) return;
    m_prepared = true;
    // Loaded while this thread still sees its own System32: a 32-bit
    // program would otherwise reach the 64-bit DLL.
    static const char* const kNames[] = {"GetFileVersionInfoSizeW", "GetFileVersionInfoW", "VerQueryValueW",
                                         "SetupOpenInfFileW", "SetupGetLineTextW", "SetupCloseInfFile"};
    const HMODULE modules[] = {win::SystemLibrary(L"version.dll"), win::SystemLibrary(L"setupapi.dll")};
    for (int i = 0; i < 6; ++i)
        m_functions[i] = modules[i / 3] ? reinterpret_cast<void*>(::GetProcAddress(modules[i / 3], kNames[i])) : nullptr;
    // The kernel's processor: a 32-bit program on 64-bit Windows is told
    // the machine's own by IsWow64Process2 (Windows 10), and by
    // GetNativeSystemInfo before it.
    const auto isWow64Process2 = SETUP_LATE_FUNCTION(L"kernel32.dll", IsWow64Process2);
    USHORT process = 0, native = 0;
    if (isWow64Process2 && isWow64Process2(::GetCurrentProcess(), &process, &native)) {
        m_kernelMachine = native;
        return;
    }
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: m_kernelMachine = IMAGE_FILE_MACHINE_I386; break;
    case PROCESSOR_ARCHITECTURE_AMD64: m_kernelMachine = IMAGE_FILE_MACHINE_AMD64; break;
    case PROCESSOR_ARCHITECTURE_ARM: m_kernelMachine = IMAGE_FILE_MACHINE_ARMNT; break;
    case 12: m_kernelMachine = 0xAA64; break;  // PROCESSOR_ARCHITECTURE_ARM64
    default: m_kernelMachine = 0;
    }
}

std::uint32_t WinFileFacts::FileVersion(const std::wstring& path, bool inf, std::wstring& text) const
{
    text.clear();
    const std::wstring file = LongPath(path);
    std::uint32_t error = 0;
    if (inf) {
        if (!m_functions[3] || !m_functions[4] || !m_functions[5]) return 0;
        const HINF handle = reinterpret_cast<OpenInf*>(m_functions[3])(file.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            error = win::LastError();
            return Held(error) ? error : 0;
        }
        // Its fields, without their quotes and with %key% replaced, joined
        // by commas.
        wchar_t line[256];
        if (reinterpret_cast<LineText*>(m_functions[4])(nullptr, handle, L"Version", L"DriverVer", line, 256, nullptr))
            text = line;
        reinterpret_cast<CloseInf*>(m_functions[5])(handle);
        return 0;
    }
    if (!m_functions[0] || !m_functions[1] || !m_functions[2]) return 0;
    DWORD ignored = 0;
    // A driver's version resource takes a few hundred bytes; a larger one
    // than this is no driver's.
    char block[32768];
    const DWORD size = reinterpret_cast<SizeOf*>(m_functions[0])(file.c_str(), &ignored);
    void* fixed = nullptr;
    UINT length = 0;
    if (size > sizeof block) return 0;
    if (!size || !reinterpret_cast<InfoOf*>(m_functions[1])(file.c_str(), 0, size, block)) {
        error = win::LastError();
        return Held(error) ? error : 0;
    }
    if (!reinterpret_cast<Query*>(m_functions[2])(block, L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (info->dwSignature != 0xFEEF04BD) return 0;
    wchar_t numbers[24];
    ::wsprintfW(numbers, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    text = numbers;
    return 0;
}

std::uint32_t WinFileFacts::ReadStart(const std::wstring& path, char* buffer, std::size_t size, std::size_t& read) const
{
    const win::Unique<win::FileTraits> file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                          OPEN_EXISTING, 0, nullptr));
    DWORD done = 0;
    const std::uint32_t error =
        file ? win::Outcome(::ReadFile(file.get(), buffer, static_cast<DWORD>(size), &done, nullptr)) : win::LastError();
    read = done;
    return error;
}

void WinFileFacts::Pause(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace setup
