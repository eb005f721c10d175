#include "platform/WinFileFacts.h"

#include <windows.h>
#include <winver.h>

#include <algorithm>
#include <vector>

#include "platform/WinApi.h"
#include "platform/WinHandles.h"

namespace setup {
namespace {

// The file functions take a path past MAX_PATH only in its extended form.
std::wstring LongPath(const std::wstring& path)
{
    if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\", 0) == 0) return path;
    return L"\\\\?\\" + path;
}

using SizeOf = decltype(::GetFileVersionInfoSizeW);
using InfoOf = decltype(::GetFileVersionInfoW);
using Query = decltype(::VerQueryValueW);

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
    if (const HMODULE version = win::SystemLibrary(L"version.dll")) {
        m_sizeOf = reinterpret_cast<void*>(::GetProcAddress(version, "GetFileVersionInfoSizeW"));
        m_infoOf = reinterpret_cast<void*>(::GetProcAddress(version, "GetFileVersionInfoW"));
        m_query = reinterpret_cast<void*>(::GetProcAddress(version, "VerQueryValueW"));
    }
    // The kernel's processor: a 32-bit program on 64-bit Windows is told
    // the machine's own by IsWow64Process2 (Windows 10), and by
    // GetNativeSystemInfo before it.
    static const auto isWow64Process2 = SETUP_LATE_FUNCTION(L"kernel32.dll", IsWow64Process2);
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

std::uint32_t WinFileFacts::FileVersion(const std::wstring& path, std::optional<std::uint64_t>& version) const
{
    version.reset();
    if (!m_sizeOf || !m_infoOf || !m_query) return 0;
    const std::wstring file = LongPath(path);
    DWORD ignored = 0;
    const DWORD size = reinterpret_cast<SizeOf*>(m_sizeOf)(file.c_str(), &ignored);
    if (size == 0) {
        const std::uint32_t error = win::LastError();
        return Held(error) ? error : 0;
    }
    std::vector<char> block(size);
    if (!reinterpret_cast<InfoOf*>(m_infoOf)(file.c_str(), 0, size, block.data())) {
        const std::uint32_t error = win::LastError();
        return Held(error) ? error : 0;
    }
    void* fixed = nullptr;
    UINT length = 0;
    if (!reinterpret_cast<Query*>(m_query)(block.data(), L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (info->dwSignature != 0xFEEF04BD) return 0;
    version = std::uint64_t(info->dwFileVersionMS) << 32 | info->dwFileVersionLS;
    return 0;
}

std::uint32_t WinFileFacts::ReadStart(const std::wstring& path, std::size_t limit, std::string& bytes) const
{
    bytes.clear();
    const win::Unique<win::FileTraits> file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                          OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return win::LastError();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return win::LastError();
    bytes.resize(static_cast<std::size_t>(std::min<LONGLONG>(size.QuadPart, static_cast<LONGLONG>(limit))));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!::ReadFile(file.get(), bytes.data() + done, want, &read, nullptr)) return win::LastError();
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return 0;
}

void WinFileFacts::Pause(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace setup
