#include "install/DriverInstall.h"

#include "text/Decimal.h"

namespace setup::install {
namespace {

struct Pass {
    const wchar_t* extension;
    const wchar_t* destination;  // below the Windows folder
};

constexpr Pass kPasses[] = {
    {L"inf", L"Inf"},
    {L"pdr", L"System\\IoSubSys"},
    {L"sys", L"System32\\Drivers"},
};

constexpr wchar_t kTemporarySuffix[] = L".setup-new";

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; }

bool IsOrdinaryFile(std::uint32_t attributes)
{
    return (attributes & (kAttributeDirectory | kAttributeHidden | kAttributeSystem)) == 0;
}

// Removes what a failed copy may have left at path (never a folder).
void RemovePartialFile(Services& services, const std::wstring& path)
{
    const auto attributes = services.Attributes(path);
    if (attributes && !(*attributes & kAttributeDirectory)) services.RemoveFile(path);
}

// Copies source to target. A new file is copied straight, and removed again
// if the copy fails. An existing one is replaced through a temporary file
// beside it, so that a failed copy leaves it as it was.
std::uint32_t SafeCopy(Services& services, const std::wstring& source, const std::wstring& target)
{
    // Trying the copy first costs one look-up of the name, which on a large
    // folder is most of the work for a small file.
    std::uint32_t error = services.CopyToFile(source, target, false);
    if (error != kErrorFileExists) {
        if (error != 0) RemovePartialFile(services, target);
        return error;
    }
    // Windows does not copy over a read-only or hidden file; keep that rule
    // even where the system would not enforce it.
    const auto existing = services.Attributes(target);
    if (existing && (*existing & (kAttributeReadOnly | kAttributeHidden | kAttributeDirectory)))
        return kErrorAccessDenied;
    const std::wstring temporary = target + kTemporarySuffix;
    error = services.CopyToFile(source, temporary, true);
    if (error == 0) error = services.MoveOver(temporary, target);
    if (error != 0) RemovePartialFile(services, temporary);
    return error;
}

}  // namespace

std::wstring WindowsDirectory(const Services& services)
{
    const auto folder = services.WindowsFolder();
    return folder && !folder->empty() ? *folder : L"C:\\windows";
}

std::wstring JoinPath(const std::wstring& a, const std::wstring& b)
{
    if (!a.empty() && (a.back() == L'\\' || a.back() == L'/')) return a + b;
    return a + L"\\" + b;
}

bool HasExtension(const std::wstring& name, const std::wstring& ext)
{
    const auto dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos || name.size() - dot - 1 != ext.size()) return false;
    for (std::size_t i = 0; i < ext.size(); ++i)
        if (LowerAscii(name[dot + 1 + i]) != LowerAscii(ext[i])) return false;
    return true;
}

Result CopyDriverFiles(Services& services, const std::wstring& programFolder)
{
    Result result;
    const std::wstring windows = WindowsDirectory(services);
    const std::wstring source = JoinPath(programFolder, L"Driver");

    // A 32-bit program on 64-bit Windows would put System32 files into
    // SysWOW64, where a 64-bit system never loads a driver.
    const bool redirected = services.RunsUnderWow64() && services.DisableFolderRedirection();

    for (const Pass& pass : kPasses) {
        const std::wstring destination = JoinPath(windows, pass.destination);
        // A folder that this Windows does not have (System\IoSubSys exists
        // only on old ones) means the pass does not apply here.
        const auto folder = services.Attributes(destination);
        if (!folder || !(*folder & kAttributeDirectory)) continue;

        const auto search = services.FindFiles(JoinPath(source, L"*.") + pass.extension);
        FoundFile file;
        // The wildcard also matches short 8.3 names (a.info is A~1.INF), so
        // the extension is checked again; a failing search ends the pass.
        while (search && search->Next(file)) {
            if (!IsOrdinaryFile(file.attributes) || !HasExtension(file.name, pass.extension)) continue;
            const std::uint32_t error =
                SafeCopy(services, JoinPath(source, file.name), JoinPath(destination, file.name));
            if (error == 0) {
                ++result.copied;
            } else {
                result.failures.push_back({file.name, destination, error});
            }
        }
    }

    if (redirected) services.RestoreFolderRedirection();
    return result;
}

std::wstring FailureMessage(const Services& services, const std::wstring& heading,
                            const std::vector<Failure>& failures)
{
    std::wstring message = heading;
    const std::size_t shown = failures.size() > kMaxFailureLines ? kMaxFailureLines : failures.size();
    for (std::size_t i = 0; i < shown; ++i) {
        const Failure& f = failures[i];
        message += L"\r\n" + f.name + L" (" + f.folder + L"): " + services.ErrorText(f.error);
    }
    if (shown < failures.size()) message += L"\r\nand " + Decimal(failures.size() - shown) + L" more";
    return message;
}

}  // namespace setup::install
