#include "platform/WinFileFacts.h"

#include <windows.h>
#include <setupapi.h>
#include <winver.h>


#include "platform/WinApi.h"
#include "platform/WinHandles.h"
#include "platform/WinLate.h"

namespace setup {
namespace {

using win::LongPath;


// Only another program's hold on the file keeps it from being read; any
// other refusal means it has no version to give.
bool Held(std::uint32_t error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED; }

}  // namespace

void WinFileFacts::Prepare()
{
    if (m_prepared) return;
    m_prepared = true;
    // Loaded while this thread still sees its own System32: a 32-bit
    // program would otherwise reach the 64-bit DLLs. The kernel's
    // processor: a 32-bit program on 64-bit Windows is told the machine's
    // own by IsWow64Process2 (Windows 10), and by GetNativeSystemInfo
    // before it.
    const auto isWow64Process2 = win::Install().isWow64Process2;
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
    const win::InstallFunctions& f = win::Install();
    if (inf) {
        if (!f.setupOpenInfFile || !f.setupGetLineText || !f.setupCloseInfFile) return 0;
        const HINF handle = f.setupOpenInfFile(file.c_str(), nullptr, INF_STYLE_WIN4, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            error = win::LastError();
            return Held(error) ? error : 0;
        }
        // Its fields, without their quotes and with %key% replaced, joined
        // by commas.
        wchar_t line[256];
        if (f.setupGetLineText(nullptr, handle, L"Version", L"DriverVer", line, 256, nullptr))
            text = line;
        f.setupCloseInfFile(handle);
        return 0;
    }
    if (!f.getFileVersionInfoSize || !f.getFileVersionInfo || !f.verQueryValue) return 0;
    // Only a program image (MZ: Windows, VxD and 16-bit images alike) has a
    // version resource. Under Wine, looking for one in any other file
    // costs four times this look at its first two bytes.
    char head[2];
    std::size_t read = 0;
    if (const std::uint32_t e = ReadStart(path, head, sizeof head, read); e != 0) return Held(e) ? e : 0;
    if (read < sizeof head || head[0] != 'M' || head[1] != 'Z') return 0;
    DWORD ignored = 0;
    // A driver's version resource takes a few hundred bytes; a larger one
    // than this is no driver's.
    char block[32768];
    const DWORD size = f.getFileVersionInfoSize(file.c_str(), &ignored);
    void* fixed = nullptr;
    UINT length = 0;
    if (size > sizeof block) return 0;
    if (!size || !f.getFileVersionInfo(file.c_str(), 0, size, block)) {
        error = win::LastError();
        return Held(error) ? error : 0;
    }
    if (!f.verQueryValue(block, L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
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
