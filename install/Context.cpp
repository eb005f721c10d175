#include "install/Context.h"

#include <algorithm>

#include "text/Ascii.h"
#include "text/Numbers.h"

namespace setup::install {
namespace {

constexpr wchar_t kTemporaryPrefix[] = L"~setup-";

}  // namespace

std::wstring WindowsDirectory(const System& system)
{
    const auto folder = system.WindowsFolder();
    return folder && !folder->empty() ? *folder : L"C:\\windows";
}

std::wstring JoinPath(const std::wstring& a, const std::wstring& b)
{
    if (!a.empty() && (a.back() == L'\\' || a.back() == L'/')) return a + b;
    return a + L"\\" + b;
}

std::wstring RelativePath(std::wstring_view path)
{
    std::wstring relative;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find_first_of(L"\\/", at), path.size());
        std::wstring_view part = path.substr(at, end - at);
        at = end + 1;
        while (!part.empty() && (part.front() == L' ' || part.front() == L'\t')) part.remove_prefix(1);
        while (!part.empty() && (part.back() == L' ' || part.back() == L'\t')) part.remove_suffix(1);
        if (part.empty() || part == L".") continue;
        if (!relative.empty()) relative += L'\\';
        relative += part;
    }
    return relative;
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

bool HasExtension(const std::wstring& name, const std::wstring& ext)
{
    const auto dot = name.find_last_of(L'.');
    return dot != std::wstring::npos && EqualsIgnoringAsciiCase(std::wstring_view(name).substr(dot + 1), ext);
}

std::wstring TemporaryName(const RunId& run, std::uint32_t counter, const wchar_t* kind)
{
    const std::wstring started = run.started ? Hex(run.started) + L"-" : L"";
    return kTemporaryPrefix + Hex(run.process) + L"-" + started + Hex(counter) + L"." + kind;
}

std::optional<TemporaryNameParts> ParseTemporaryName(const std::wstring& name)
{
    // ~setup-<process>-[<start>-]<counter>.<kind>, the numbers in hex
    const std::wstring prefix = kTemporaryPrefix;
    const auto dot = name.find(L'.');
    if (dot == std::wstring::npos || !EqualsIgnoringAsciiCase(std::wstring_view(name).substr(0, prefix.size()), prefix))
        return std::nullopt;
    std::vector<std::uint64_t> numbers;
    for (std::size_t at = prefix.size(); at <= dot && numbers.size() < 4;) {
        const std::size_t end = std::min(name.find(L'-', at), dot);
        const auto number = ParseHex(std::wstring_view(name).substr(at, end - at));
        if (!number) return std::nullopt;
        numbers.push_back(*number);
        at = end + 1;
    }
    if (numbers.size() < 2 || numbers.size() > 3 || numbers.front() > 0xFFFFFFFFu || numbers.back() > 0xFFFFFFFFu)
        return std::nullopt;
    TemporaryNameParts parts;
    parts.run.process = static_cast<std::uint32_t>(numbers.front());
    parts.run.started = numbers.size() == 3 ? numbers[1] : 0;
    parts.counter = static_cast<std::uint32_t>(numbers.back());
    parts.kind = LowerAscii(std::wstring_view(name).substr(dot + 1));
    for (const wchar_t* known : {L"tmp", L"bak", L"old", L"new", L"jnl"})
        if (parts.kind == known) return parts;
    return std::nullopt;
}

Context::Context(FileSystem& fileSystem, RestartQueue& restartQueue, FolderRedirection& folderRedirection,
                 DriverStore& driverStore, System& machine, FileFacts& fileFacts)
    : files(fileSystem), restart(restartQueue), redirection(folderRedirection), store(driverStore), system(machine),
      facts(fileFacts), patience(fileFacts), windows(WindowsDirectory(machine)), run(machine.ThisRun())
{
}

std::uint32_t Context::AddToJournal(const std::wstring& path, const std::wstring& text)
{
    return patience.Retry([&] { return files.WriteJournal(path, text, true); });
}

bool Context::InSystem32(const std::wstring& path) const
{
    const std::wstring system32 = JoinPath(JoinPath(windows, L"System32"), L"");
    const std::wstring folder = JoinPath(path, L"");
    return folder.size() >= system32.size() && files.SamePath(folder.substr(0, system32.size()), system32);
}

std::uint32_t Context::NewCounter()
{
    do ++m_counter;
    while (std::find(m_taken.begin(), m_taken.end(), m_counter) != m_taken.end());
    return m_counter;
}

bool Context::SameFile(const std::wstring& a, const std::wstring& b) const
{
    const auto x = files.IdOf(a), y = files.IdOf(b);
    return x && y && *x == *y;
}

bool Context::Drop(const std::wstring& path)
{
    const std::uint32_t error = files.RemoveFile(path);
    return error == 0 || error == kErrorFileNotFound || restart.DeleteAtRestart(path) == 0;
}

const std::optional<std::vector<RestartWork>>& Context::Pending()
{
    if (!m_pendingRead) m_pending = restart.PendingRestartWork();
    m_pendingRead = true;
    return m_pending;
}

std::optional<std::vector<std::wstring>> Context::EarlierReplacements(const std::wstring& target,
                                                                      const std::wstring& own)
{
    const auto& pending = Pending();
    if (!pending) return std::nullopt;
    std::vector<std::wstring> earlier;
    for (const auto& work : *pending) {
        if (!files.SamePath(work.to, target) || files.SamePath(work.from, own) ||
            !files.SamePath(FolderOf(work.from), FolderOf(target)))
            continue;
        const auto parts = ParseTemporaryName(NameOf(work.from));
        if (parts && parts->kind == L"new") earlier.push_back(work.from);
    }
    return earlier;
}

bool Context::CancelEarlierReplacements(const std::wstring& target, const std::wstring& own)
{
    const auto earlier = EarlierReplacements(target, own);
    bool cancelled = earlier.has_value();
    for (const auto& copy : earlier ? *earlier : std::vector<std::wstring>{}) {
        const std::uint32_t error = files.RemoveFile(copy);
        cancelled = cancelled && (error == 0 || error == kErrorFileNotFound);
    }
    return cancelled;
}

std::uint32_t Context::RemovePackage(const std::wstring& publishedName)
{
    std::uint32_t error = store.Remove(publishedName);
    if (error == kErrorInWow64) {
        // Sysnative is where a 32-bit program sees the 64-bit System32.
        std::uint32_t exitCode = 0;
        error = system.RunHidden(JoinPath(windows, L"Sysnative\\pnputil.exe"), L"-d " + publishedName, exitCode);
        constexpr std::uint32_t kRebootRequired = 3010;  // taken out; the device lets go of it at restart
        if (error == 0 && exitCode != kRebootRequired) error = exitCode;
    }
    return error == kErrorFileNotFound ? 0 : error;
}

void FolderNames::List()
{
    std::uint32_t error = 0;
    const auto search = m_files.FindFiles(JoinPath(m_folder, L"*"), error);
    // No folder at all holds no names either.
    m_listed = error == 0 || error == kErrorPathNotFound;
    FoundFile entry;
    while (search && search->Next(entry)) {
        const bool ascii = std::all_of(entry.name.begin(), entry.name.end(), [](wchar_t c) { return c < 0x80; });
        if (ascii) m_ascii.emplace_back(LowerAscii(entry.name), m_entries.size());
        else m_others.push_back(m_entries.size());
        m_entries.push_back(std::move(entry));
    }
    if (search && search->Error() != 0) m_listed = false;
    std::sort(m_ascii.begin(), m_ascii.end());
}

std::optional<std::uint32_t> FolderNames::Attributes(const std::wstring& name)
{
    if (m_lookUps <= kLookUps && ++m_lookUps > kLookUps) List();
    if (!m_listed) return m_files.Attributes(JoinPath(m_folder, name));
    const bool ascii = std::all_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x80; });
    // Some letters beyond ASCII fold to ASCII ones, so names beyond ASCII
    // are compared as the file system compares them: an ASCII name with
    // those, any other with every entry.
    if (ascii) {
        const std::wstring key = LowerAscii(name);
        const auto found = std::lower_bound(m_ascii.begin(), m_ascii.end(), std::pair{key, std::size_t(0)});
        if (found != m_ascii.end() && found->first == key) return m_entries[found->second].attributes;
        for (const std::size_t i : m_others)
            if (m_files.SamePath(m_entries[i].name, name)) return m_entries[i].attributes;
        return std::nullopt;
    }
    for (const auto& entry : m_entries)
        if (m_files.SamePath(entry.name, name)) return entry.attributes;
    return std::nullopt;
}

Redirection::Redirection(Context& context, const std::wstring& folder) : m_redirection(context.redirection)
{
    if (!context.InSystem32(folder) || !m_redirection.RunsUnderWow64()) return;
    m_error = m_redirection.DisableFolderRedirection(m_saved);
    m_off = m_error == 0;
}

Redirection::~Redirection()
{
    if (m_off) m_redirection.RestoreFolderRedirection(m_saved);
}

}  // namespace setup::install
