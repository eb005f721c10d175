#include "platform/WinFileFacts.h"

#include <windows.h>
#include <setupapi.h>
#include <winver.h>

#include <vector>


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
    const auto isWow64Process2 = win::InstallFunctionsLoaded().isWow64Process2;
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
    const win::InstallFunctions& f = win::InstallFunctionsLoaded();
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
    if (const std::uint32_t e = ReadAt(path, 0, head, sizeof head, read); e != 0) return Held(e) ? e : 0;
    if (read < sizeof head || head[0] != 'M' || head[1] != 'Z') return 0;
    DWORD ignored = 0;
    // As large as the resource: one translated into many languages takes
    // tens of kilobytes, and a version resource is at most 64 KB in the file.
    const DWORD size = f.getFileVersionInfoSize(file.c_str(), &ignored);
    if (!size) {
        error = win::LastError();
        return Held(error) ? error : 0;
    }
    std::vector<char> block(size);
    void* fixed = nullptr;
    UINT length = 0;
    if (!f.getFileVersionInfo(file.c_str(), 0, size, block.data())) {
        error = win::LastError();
        return Held(error) ? error : 0;
    }
    if (!f.verQueryValue(block.data(), L"\\", &fixed, &length) || length < sizeof(VS_FIXEDFILEINFO))
        return 0;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(fixed);
    if (info->dwSignature != 0xFEEF04BD) return 0;
    wchar_t numbers[24];
    ::wsprintfW(numbers, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
    text = numbers;
    return 0;
}

std::uint32_t WinFileFacts::ReadAt(const std::wstring& path, std::uint64_t offset, char* buffer, std::size_t size,
                                   std::size_t& read) const
{
    const win::Unique<win::FileTraits> file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                          OPEN_EXISTING, 0, nullptr));
    read = 0;
    if (!file) return win::LastError();
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD done = 0;
    if (!::ReadFile(file.get(), buffer, static_cast<DWORD>(size), &done, &at)) {
        const std::uint32_t error = win::LastError();
        return error == ERROR_HANDLE_EOF ? 0 : error;  // past the end: nothing to read
    }
    read = done;
    return 0;
}

std::uint32_t WinFileFacts::ReadFile(const std::wstring& path, std::size_t limit, std::vector<char>& bytes) const
{
    bytes.clear();
    const win::Unique<win::FileTraits> file(::CreateFileW(LongPath(path).c_str(), GENERIC_READ,
                                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                          OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) return win::LastError();
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) return ERROR_FILE_TOO_LARGE;
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    DWORD done = 0;
    if (!bytes.empty() && !::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr))
        return win::LastError();
    bytes.resize(done);  // a file cut short meanwhile
    return 0;
}

std::vector<std::wstring> WinFileFacts::InfNeeds(const std::wstring& inf, const std::wstring& decoration) const
{
    std::vector<std::wstring> needs;
    const win::InstallFunctions& f = win::InstallFunctionsLoaded();
    if (!f.setupOpenInfFile || !f.setupGetLineText || !f.setupFindFirstLine || !f.setupFindNextLine ||
        !f.setupGetStringField || !f.setupCloseInfFile)
        return needs;
    const HINF handle = f.setupOpenInfFile(LongPath(inf).c_str(), nullptr, INF_STYLE_WIN4, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return needs;
    const std::wstring decorated = decoration.empty() ? L"" : L"." + decoration;
    wchar_t text[MAX_PATH];
    // Field n of a line (0: its key); empty when it has none.
    const auto field = [&](INFCONTEXT& line, DWORD n) {
        return f.setupGetStringField(&line, n, text, MAX_PATH, nullptr) ? std::wstring(text) : std::wstring();
    };
    needs.emplace_back();  // the catalog, if it names one
    for (const std::wstring& key : {L"CatalogFile.NT" + decoration, std::wstring(L"CatalogFile.NT"), std::wstring(L"CatalogFile")})
        if (needs[0].empty() && f.setupGetLineText(nullptr, handle, L"Version", key.c_str(), text, MAX_PATH, nullptr))
            needs[0] = text;
    // A file of the decorated section comes from there; the undecorated
    // one serves every processor for the rest.
    std::vector<std::wstring> seen;
    for (const std::wstring& files : {L"SourceDisksFiles" + decorated, std::wstring(L"SourceDisksFiles")}) {
        INFCONTEXT line{};
        for (bool more = f.setupFindFirstLine(handle, files.c_str(), nullptr, &line); more;
             more = f.setupFindNextLine(&line, &line)) {
            const std::wstring name = field(line, 0), disk = field(line, 1), folder = field(line, 2);
            bool known = name.empty();
            for (const auto& s : seen) known = known || ::lstrcmpiW(s.c_str(), name.c_str()) == 0;
            if (known) continue;
            seen.push_back(name);
            std::wstring path;
            for (const std::wstring& names : {L"SourceDisksNames" + decorated, std::wstring(L"SourceDisksNames")}) {
                INFCONTEXT diskLine{};
                if (path.empty() && f.setupFindFirstLine(handle, names.c_str(), disk.c_str(), &diskLine))
                    path = field(diskLine, 4) + L"\\";
            }
            needs.push_back(path + folder + L"\\" + name);
        }
    }
    f.setupCloseInfFile(handle);
    return needs;
}

void WinFileFacts::Pause(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace setup
