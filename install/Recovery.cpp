#include "install/Recovery.h"

#include <algorithm>

#include "install/Journal.h"
#include "text/Ascii.h"

namespace setup::install {
namespace {

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// The files of a folder that match pattern and have exactly the program's
// name shape, with the parts of their names.
std::vector<std::pair<std::wstring, TemporaryNameParts>> OwnNames(Context& c, const std::wstring& folder,
                                                                   const wchar_t* pattern)
{
    std::vector<std::pair<std::wstring, TemporaryNameParts>> names;
    std::uint32_t error = 0;
    const auto search = c.files.FindFiles(JoinPath(folder, pattern), error);
    FoundFile file;
    while (search && search->Next(file))
        if (const auto parts = ParseTemporaryName(file.name); parts && !(file.attributes & kAttributeDirectory))
            names.emplace_back(file.name, *parts);
    return names;
}

// Puts the old file (from) back under its name (to). Where the file there
// now is in use (its driver loaded since), that one is renamed away and
// goes at the next start.
std::uint32_t Restore(Context& c, const std::wstring& from, const std::wstring& to, Result& result)
{
    const std::uint32_t error = c.files.MoveOver(from, to);
    if (error == 0 || !Busy(error) || !c.Exists(to)) return error;
    const std::wstring aside = c.TemporaryPath(FolderOf(to), c.NewCounter(), L"old");
    if (c.files.RenameFile(to, aside) != 0) return error;
    if (const std::uint32_t again = c.files.MoveOver(from, to); again != 0) {
        c.files.MoveOver(aside, to);
        return again;
    }
    c.files.DeleteAtRestart(aside);
    result.restartNeeded = true;
    return 0;
}

// One file of an install that did not commit, back as it was: 0 or the
// error that kept it from it.
std::uint32_t TakeBackFile(Context& c, const Journal& j, const JournalEntry& e, Result& result)
{
    const std::wstring& folder = j.folders[e.folder];
    const std::wstring target = JoinPath(folder, e.name);
    auto path = [&](const wchar_t* kind) { return JoinPath(folder, TemporaryName(j.processId, e.counter, kind)); };
    // A copy waiting for the restart: the replacement then finds nothing.
    if (const std::wstring kept = path(L"new"); c.Exists(kept))
        if (const std::uint32_t error = c.files.RemoveFile(kept); error != 0) return error;
    if (!e.existed) {
        // Only the run's own copy goes, not a file somebody put there since.
        const auto id = c.files.IdOf(target);
        return e.copy && id && *id == *e.copy ? c.files.RemoveFile(target) : 0;
    }
    // The old file got its second name before anything else changed:
    // without it, nothing did.
    const std::wstring backup = path(L"bak"), aside = path(L"old");
    if (!c.Exists(backup)) return 0;
    if (!c.SameFile(target, backup)) {
        if (const std::uint32_t error = Restore(c, backup, target, result); error != 0) return error;
    } else if (!c.Drop(backup)) {
        return kErrorAccessDenied;  // whole, but its second name stays; the next run lets it go
    }
    if (c.Exists(aside) && c.SameFile(aside, target) && !c.Drop(aside)) return kErrorAccessDenied;
    return 0;
}

bool TakeBack(Context& c, const Journal& j, Result& result)
{
    bool whole = true;
    for (auto e = j.entries.rbegin(); e != j.entries.rend(); ++e) {
        const std::wstring& folder = j.folders[e->folder];
        const Redirection redirection(c, folder);
        const std::uint32_t error = redirection.Error() ? redirection.Error() : TakeBackFile(c, j, *e, result);
        if (error == 0) continue;
        result.notRestored.push_back({e->name, folder, error});
        whole = false;
    }
    if (whole)
        for (const auto& published : j.published) c.store.Remove(published);
    return whole;
}

// A committed install: only the old files' second names are left to go.
bool Finish(Context& c, const Journal& j)
{
    for (const auto& e : j.entries) {
        const std::wstring& folder = j.folders[e.folder];
        const Redirection redirection(c, folder);
        if (redirection.Error()) return false;
        for (const wchar_t* kind : {L"bak", L"old"}) {
            const std::wstring path = JoinPath(folder, TemporaryName(j.processId, e.counter, kind));
            if (e.existed && c.Exists(path) && !c.Drop(path)) return false;
        }
        c.CancelEarlierReplacements(JoinPath(folder, e.name), JoinPath(folder, TemporaryName(j.processId, e.counter, L"new")));
    }
    return true;
}

}  // namespace

Context::Context(FileSystem& fileSystem, DriverStore& driverStore, System& facts)
    : files(fileSystem), store(driverStore), system(facts), windows(WindowsDirectory(facts)), processId(facts.ProcessId())
{
}

bool Context::InSystem32(const std::wstring& path) const
{
    const std::wstring system32 = LowerAscii(JoinPath(JoinPath(windows, L"System32"), L""));
    return LowerAscii(JoinPath(path, L"")).compare(0, system32.size(), system32) == 0;
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
    return error == 0 || error == kErrorFileNotFound || files.DeleteAtRestart(path) == 0;
}

const std::vector<RestartWork>& Context::Pending()
{
    if (!m_pending) m_pending = files.PendingRestartWork();
    return *m_pending;
}

void Context::CancelEarlierReplacements(const std::wstring& target, const std::wstring& own)
{
    for (const auto& work : Pending()) {
        if (!EqualsIgnoringAsciiCase(work.to, target) || EqualsIgnoringAsciiCase(work.from, own) ||
            !EqualsIgnoringAsciiCase(FolderOf(work.from), FolderOf(target)))
            continue;
        const auto parts = ParseTemporaryName(NameOf(work.from));
        if (parts && parts->kind == L"new") files.RemoveFile(work.from);
    }
}

Redirection::Redirection(Context& context, const std::wstring& folder) : m_files(context.files)
{
    if (!context.InSystem32(folder) || !m_files.RunsUnderWow64()) return;
    m_error = m_files.DisableFolderRedirection();
    m_off = m_error == 0;
}

Redirection::~Redirection()
{
    if (m_off) m_files.RestoreFolderRedirection();
}

bool Recover(Context& c, Result& result)
{
    const std::wstring folder = JoinPath(c.windows, L"Inf");
    bool whole = true;
    for (const auto& [name, parts] : OwnNames(c, folder, L"~setup-*.jnl")) {
        if (parts.kind != L"jnl") continue;
        const std::wstring path = JoinPath(folder, name);
        std::wstring text;
        if (const std::uint32_t error = c.files.ReadJournal(path, text); error != 0) {
            result.notRestored.push_back({name, folder, error});
            whole = false;
            continue;
        }
        Journal journal;
        switch (ParseJournal(text, journal)) {
        case JournalText::CutShort: c.files.RemoveFile(path); break;  // nothing after it happened
        case JournalText::Foreign: break;
        case JournalText::Whole:
            if (journal.committed ? Finish(c, journal) : TakeBack(c, journal, result))
                c.files.RemoveFile(path);
            else
                whole = false;
            break;
        }
    }
    return whole;
}

void Sweep(Context& c, const std::wstring& folder)
{
    for (const auto& [name, parts] : OwnNames(c, folder, L"~setup-*")) {
        if (parts.processId == c.processId) c.CounterTaken(parts.counter);
        if (parts.kind != L"tmp" && parts.kind != L"new") continue;
        const std::wstring path = JoinPath(folder, name);
        bool waiting = false;
        for (const auto& work : c.Pending()) waiting = waiting || EqualsIgnoringAsciiCase(work.from, path);
        if (!waiting) c.files.RemoveFile(path);
    }
}

}  // namespace setup::install
