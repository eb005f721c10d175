#include "install/DriverInstall.h"

#include <memory>

#include "text/Decimal.h"

namespace setup::install {
namespace {

struct Pass {
    const wchar_t* extension;
    const wchar_t* destination;  // below the Windows folder
    bool system32;               // below System32, which WOW64 redirects
};

constexpr Pass kPasses[] = {
    {L"inf", L"Inf", false},
    {L"pdr", L"System\\IoSubSys", false},
    {L"sys", L"System32\\Drivers", true},
};

constexpr wchar_t kTemporaryPrefix[] = L"~setup-";
constexpr int kNameAttempts = 64;  // fresh temporary names tried before giving up

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; }

bool IsOrdinaryFile(std::uint32_t attributes)
{
    return (attributes & (kAttributeDirectory | kAttributeHidden | kAttributeSystem)) == 0;
}

bool InUse(std::uint32_t error) { return error == kErrorAccessDenied || error == kErrorSharingViolation; }

std::wstring Hex(std::uint32_t value)
{
    std::wstring digits;
    do {
        digits.insert(digits.begin(), L"0123456789abcdef"[value % 16]);
        value /= 16;
    } while (value > 0);
    return digits;
}

// WOW64 redirection turned off, on this thread, while a pass's System32
// folder is worked on by a 32-bit program on 64-bit Windows.
class Redirection {
public:
    Redirection(Services& services, const Pass& pass) : m_services(services)
    {
        if (!pass.system32 || !services.RunsUnderWow64()) return;
        m_error = services.DisableFolderRedirection();
        m_off = m_error == 0;
    }
    ~Redirection()
    {
        if (m_off) m_services.RestoreFolderRedirection();
    }
    Redirection(const Redirection&) = delete;
    Redirection& operator=(const Redirection&) = delete;
    std::uint32_t Error() const { return m_error; }

private:
    Services& m_services;
    std::uint32_t m_error = 0;
    bool m_off = false;
};

// One package file on its way to its target.
struct Item {
    const Pass* pass = nullptr;
    std::wstring name, folder, target;
    bool existed = false;
    std::unique_ptr<StagedFile> staged;
    enum class State { Staged, Placed, SetAside, AtRestart } state = State::Staged;
    std::wstring backup;  // a second name of the old file, for undoing the rename over it
    std::wstring aside;   // the old file in use, renamed away
    std::wstring kept;    // the copy that replaces the file at restart
};

class Install {
public:
    Install(Services& services, const std::wstring& programFolder)
        : m_services(services), m_windows(WindowsDirectory(services)),
          m_source(JoinPath(programFolder, L"Driver")), m_processId(services.ProcessId())
    {
    }

    Result Run()
    {
        Stage();
        if (!m_result.failures.empty()) {
            m_items.clear();  // every copy is deleted
            m_result.filesUnchanged = true;
            return m_result;
        }
        // Registered from the package before the copies are in place: that
        // is where the driver store takes the package from.
        for (const auto& inf : m_infs) {
            const std::uint32_t error = RegisterDriverPackage(m_services, m_windows, JoinPath(m_source, inf));
            if (error != 0) m_result.failures.push_back({inf, kDriverStore, error});
        }
        Commit();
        return m_result;
    }

private:
    std::wstring NewName(const std::wstring& folder, const wchar_t* kind)
    {
        return JoinPath(folder, TemporaryName(m_processId, ++m_counter, kind));
    }

    // Calls attempt with fresh temporary names until one is not taken.
    template <typename Attempt>
    std::uint32_t WithNewName(const std::wstring& folder, const wchar_t* kind, std::wstring& chosen, Attempt attempt)
    {
        std::uint32_t error = kErrorFileExists;
        for (int i = 0; i < kNameAttempts && (error == kErrorFileExists || error == kErrorAlreadyExists); ++i) {
            chosen = NewName(folder, kind);
            error = attempt(chosen);
        }
        if (error != 0) chosen.clear();
        return error;
    }

    // Removes what an earlier run that was killed or lost its power left.
    void Sweep(const std::wstring& folder)
    {
        std::vector<std::wstring> leftovers;
        const auto search = m_services.FindFiles(JoinPath(folder, std::wstring(kTemporaryPrefix) + L"*"));
        FoundFile file;
        while (search && search->Next(file))
            if (!(file.attributes & kAttributeDirectory) && IsLeftover(file.name)) leftovers.push_back(file.name);
        for (const auto& name : leftovers) m_services.RemoveFile(JoinPath(folder, name));
    }

    // Lists the package's files of each pass, and copies every one of them
    // beside its target.
    void Stage()
    {
        for (const Pass& pass : kPasses) {
            std::vector<std::wstring> names;
            const auto search = m_services.FindFiles(JoinPath(m_source, L"*.") + pass.extension);
            FoundFile file;
            // The wildcard also matches short 8.3 names (a.info is A~1.INF),
            // so the extension is checked again; a failing search ends the
            // pass.
            while (search && search->Next(file))
                if (IsOrdinaryFile(file.attributes) && HasExtension(file.name, pass.extension)) names.push_back(file.name);
            if (&pass == &kPasses[0]) m_infs = names;

            const Redirection redirection(m_services, pass);
            const std::wstring folder = JoinPath(m_windows, pass.destination);
            // A folder that this Windows does not have (System\IoSubSys
            // exists only on old ones) means the pass does not apply here.
            if (!redirection.Error()) {
                const auto attributes = m_services.Attributes(folder);
                if (!attributes || !(*attributes & kAttributeDirectory)) continue;
                Sweep(folder);
            }
            for (const auto& name : names) StageFile(pass, folder, name, redirection.Error());
        }
    }

    void StageFile(const Pass& pass, const std::wstring& folder, const std::wstring& name, std::uint32_t error)
    {
        Item item;
        item.pass = &pass;
        item.name = name;
        item.folder = folder;
        item.target = JoinPath(folder, name);
        if (error == 0) {
            // Windows does not copy over a read-only or hidden file; keep
            // that rule even where the system would not enforce it.
            const auto existing = m_services.Attributes(item.target);
            item.existed = existing.has_value();
            if (existing && (*existing & (kAttributeReadOnly | kAttributeHidden | kAttributeDirectory)))
                error = kErrorAccessDenied;
        }
        if (error == 0) {
            std::wstring temporary;
            error = WithNewName(folder, L"tmp", temporary, [&](const std::wstring& path) {
                std::uint32_t e = 0;
                item.staged = m_services.Stage(JoinPath(m_source, name), path, e);
                return item.staged ? 0 : (e ? e : kErrorAccessDenied);
            });
        }
        if (error != 0) {
            m_result.failures.push_back({name, folder, error});
            return;
        }
        m_items.push_back(std::move(item));
    }

    // Puts every copy in place, pass by pass; undoes them all if one fails.
    void Commit()
    {
        for (auto& item : m_items) {
            const Redirection redirection(m_services, *item.pass);
            std::uint32_t error = redirection.Error();
            if (error == 0) error = PutInPlace(item);
            if (error != 0) return Abandon(item, error);
        }
        // Nothing that cannot be undone comes before this point.
        for (auto& item : m_items) {
            if (item.state != Item::State::AtRestart) continue;
            const Redirection redirection(m_services, *item.pass);
            std::uint32_t error = redirection.Error();
            if (error == 0) error = m_services.ReplaceAtRestart(item.kept, item.target);
            if (error != 0) return Abandon(item, error);
        }
        for (auto& item : m_items) {
            const Redirection redirection(m_services, *item.pass);
            if (item.state == Item::State::SetAside) m_services.DeleteAtRestart(item.aside);
            if (item.state == Item::State::SetAside || item.state == Item::State::AtRestart) m_result.restartNeeded = true;
            RemoveBackup(item);
            ++m_result.copied;
        }
    }

    std::uint32_t PutInPlace(Item& item)
    {
        if (item.existed)  // without it this file's old version cannot come back
            WithNewName(item.folder, L"bak", item.backup,
                        [&](const std::wstring& path) { return m_services.LinkFile(item.target, path); });
        std::uint32_t error = item.staged->PutInPlace(item.target);
        if (error == 0) {
            item.state = Item::State::Placed;
            return 0;
        }
        if (!InUse(error) || !item.existed) return error;

        // The old file is in use: renamed away, it can still be replaced.
        error = WithNewName(item.folder, L"old", item.aside,
                            [&](const std::wstring& path) { return m_services.RenameFile(item.target, path); });
        if (error == 0) {
            error = item.staged->PutInPlace(item.target);
            if (error == 0) {
                item.state = Item::State::SetAside;
                return 0;
            }
            m_services.MoveOver(item.aside, item.target);
            item.aside.clear();
            return error;
        }
        if (!InUse(error)) return error;
        // Not even that: the copy waits beside it for the restart.
        error = WithNewName(item.folder, L"new", item.kept,
                            [&](const std::wstring& path) { return item.staged->KeepAs(path); });
        if (error == 0) item.state = Item::State::AtRestart;
        return error;
    }

    // Reports the failed file and takes back what was done before it.
    void Abandon(const Item& failed, std::uint32_t error)
    {
        m_result.failures.push_back({failed.name, failed.folder, error});
        bool undone = true;
        for (auto item = m_items.rbegin(); item != m_items.rend(); ++item) {
            const Redirection redirection(m_services, *item->pass);
            undone = Undo(*item) && undone;
            RemoveBackup(*item);
            item->staged.reset();  // a copy not yet in place is deleted
        }
        m_result.filesUnchanged = undone;
    }

    bool Undo(Item& item)
    {
        switch (item.state) {
        case Item::State::Staged: return true;
        case Item::State::Placed:
            if (!item.existed) return m_services.RemoveFile(item.target) == 0;
            if (item.backup.empty() || m_services.MoveOver(item.backup, item.target) != 0) return false;
            item.backup.clear();
            return true;
        case Item::State::SetAside:
            if (m_services.MoveOver(item.aside, item.target) != 0) return false;
            item.aside.clear();
            return true;
        case Item::State::AtRestart:
            // Its replacement at restart finds nothing to move.
            return m_services.RemoveFile(item.kept) == 0;
        }
        return false;
    }

    void RemoveBackup(Item& item)
    {
        // An old driver that is loaded cannot lose a name until the restart.
        if (!item.backup.empty() && m_services.RemoveFile(item.backup) != 0) m_services.DeleteAtRestart(item.backup);
        item.backup.clear();
    }

    Services& m_services;
    const std::wstring m_windows;
    const std::wstring m_source;
    const std::uint32_t m_processId;
    std::uint32_t m_counter = 0;
    std::vector<std::wstring> m_infs;
    std::vector<Item> m_items;
    Result m_result;
};

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

std::wstring TemporaryName(std::uint32_t processId, std::uint32_t counter, const wchar_t* kind)
{
    return kTemporaryPrefix + Hex(processId) + L"-" + Hex(counter) + L"." + kind;
}

bool IsLeftover(const std::wstring& name)
{
    const std::wstring prefix = kTemporaryPrefix;
    if (name.size() <= prefix.size() + 4 || name.compare(0, prefix.size(), prefix) != 0) return false;
    for (const wchar_t* kind : {L"tmp", L"bak", L"old"})
        if (HasExtension(name, kind)) return true;
    return false;
}

std::uint32_t RegisterDriverPackage(Services& services, const std::wstring& windows, const std::wstring& inf)
{
    const std::uint32_t error = services.AddToDriverStore(inf);
    if (error != kErrorInWow64) return error;
    // Sysnative is where a 32-bit program sees the 64-bit System32.
    std::uint32_t exitCode = 0;
    const std::uint32_t started =
        services.RunHidden(JoinPath(windows, L"Sysnative\\pnputil.exe"), L"-a \"" + inf + L"\"", exitCode);
    if (started != 0) return started;
    constexpr std::uint32_t kRebootRequired = 3010;  // added; the device takes it at restart
    return exitCode == kRebootRequired ? 0 : exitCode;
}

Result InstallDriverFiles(Services& services, const std::wstring& programFolder)
{
    return Install(services, programFolder).Run();
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
