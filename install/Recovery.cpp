#include "install/Recovery.h"

#include "install/Journal.h"

namespace setup::install {
namespace {

// The files of a folder that match pattern and have exactly the program's
// name shape, with the parts of their names; error says why the folder
// could not be listed to its end.
std::vector<std::pair<std::wstring, TemporaryNameParts>> OwnNames(Context& c, const std::wstring& folder,
                                                                   const wchar_t* pattern, std::uint32_t& error)
{
    std::vector<std::pair<std::wstring, TemporaryNameParts>> names;
    const auto search = c.files.FindFiles(JoinPath(folder, pattern), error);
    FoundFile file;
    while (search && search->Next(file))
        if (const auto parts = ParseTemporaryName(file.name); parts && !(file.attributes & kAttributeDirectory))
            names.emplace_back(file.name, *parts);
    if (search && error == 0) error = search->Error();
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
        // The killed run's copy; where it cannot go back, the name stays
        // empty and the old file goes there on the next run.
        (void)c.files.MoveOver(aside, to);
        return again;
    }
    // A copy of the killed run's that cannot be deleted at the restart
    // costs only its room on the disk.
    (void)c.restart.DeleteAtRestart(aside);
    result.restartNeeded = true;
    return 0;
}

// One file of an install that did not commit, back as it was: 0 or the
// error that kept it from it. Only what the run did is taken back: the old
// file goes back, from whichever of its names is left, where the file's
// name holds the run's own copy or nothing; a file that somebody put there
// since stays, and the old file's names then go.
std::uint32_t TakeBackFile(Context& c, const Journal& j, const JournalEntry& e, Result& result)
{
    const std::wstring& folder = j.folders[e.folder];
    const std::wstring target = JoinPath(folder, e.name);
    auto path = [&](const wchar_t* kind) { return JoinPath(folder, TemporaryName(j.run, e.counter, kind)); };
    // A copy (or a second name of one) waiting for the restart: the
    // replacement then finds nothing.
    if (const std::wstring kept = path(L"new"); c.Exists(kept))
        if (const std::uint32_t error = c.files.RemoveFile(kept); error != 0) return error;
    const auto now = c.files.IdOf(target);
    const bool ownCopy = now && e.copy && *now == *e.copy;
    if (!e.existed) return ownCopy ? c.files.RemoveFile(target) : 0;

    const std::wstring backup = path(L"bak"), aside = path(L"old");
    const std::wstring* old = c.Exists(backup) ? &backup : c.Exists(aside) ? &aside : nullptr;
    if (old && (ownCopy || !now))
        if (const std::uint32_t error = Restore(c, *old, target, result); error != 0) return error;
    // Whole under its name, or given way to a later file: its other names
    // go (in use, at the restart). While one cannot, the journal stays.
    for (const std::wstring& name : {backup, aside})
        if (c.Exists(name) && !c.Drop(name)) return kErrorAccessDenied;
    return 0;
}

// Cancels the earlier runs' replacements of a file that a run put in place;
// where one cannot be cancelled, the run's own second name of its file
// (guard) replaces it after them at the restart, and stays. Otherwise the
// guard is not needed, and goes.
void SettleReplacements(Context& c, const std::wstring& target, const std::wstring& guard)
{
    // A guard that cannot go replaces the file with itself at the restart.
    if (c.CancelEarlierReplacements(target, guard) && c.Exists(guard) && c.SameFile(guard, target))
        (void)c.files.RemoveFile(guard);
}

bool TakeBack(Context& c, const Journal& j, Result& result)
{
    bool whole = true;
    const auto folderOf = [&](const JournalEntry& e) -> const std::wstring& { return j.folders[e.folder]; };
    (void)EachInFolder(c, j.entries.rbegin(), j.entries.rend(), folderOf, [&](const JournalEntry& e, FolderScope& scope) {
        const std::uint32_t error = scope.Error() ? scope.Error() : TakeBackFile(c, j, e, result);
        if (error != 0) result.notRestored.push_back({e.name, folderOf(e), error});
        whole = whole && error == 0;
        return true;
    });
    if (!whole) return false;
    // A package that cannot be taken out of the store is named, and the
    // journal stays for the next run to try again.
    for (const auto& published : j.published)
        if (const std::uint32_t error = c.RemovePackage(published); error != 0) {
            result.notRestored.push_back({published, kDriverStore, error});
            whole = false;
        }
    return whole;
}

// A committed install: only the old files' second names are left to go,
// and the earlier runs' replacements of its files to cancel. A file whose
// old copy cannot go is named; the journal stays for the next run.
bool Finish(Context& c, const Journal& j, Result& result)
{
    const auto folderOf = [&](const JournalEntry& e) -> const std::wstring& { return j.folders[e.folder]; };
    return EachInFolder(c, j.entries.begin(), j.entries.end(), folderOf, [&](const JournalEntry& e, FolderScope& scope) {
        const std::wstring& folder = folderOf(e);
        if (scope.Error()) {
            result.notRestored.push_back({e.name, folder, scope.Error()});
            return false;
        }
        for (const wchar_t* kind : {L"bak", L"old"}) {
            const std::wstring path = JoinPath(folder, TemporaryName(j.run, e.counter, kind));
            if (e.existed && c.Exists(path) && !c.Drop(path)) {
                result.notRestored.push_back({e.name, folder, kErrorAccessDenied});
                return false;
            }
        }
        SettleReplacements(c, JoinPath(folder, e.name), JoinPath(folder, TemporaryName(j.run, e.counter, L"new")));
        return true;
    });
}

}  // namespace

bool Recover(Context& c, Result& result)
{
    const std::wstring folder = JoinPath(c.windows, L"Inf");
    bool whole = true;
    // Without the whole list of journals, one left half-done may be missed.
    std::uint32_t listing = 0;
    const auto journals = OwnNames(c, folder, L"~setup-*.jnl", listing);
    if (listing != 0) {
        result.unreadable.push_back({NameOf(folder), FolderOf(folder), listing});
        result.filesUnchanged = true;
        return false;
    }
    for (const auto& [name, parts] : journals) {
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
        // Nothing after it happened; one that cannot go is tried again.
        case JournalText::CutShort: (void)c.files.RemoveFile(path); break;
        case JournalText::Foreign: break;
        case JournalText::Whole:
            if (!journal.done && !(journal.committed ? Finish(c, journal, result) : TakeBack(c, journal, result))) {
                whole = false;
                break;
            }
            // Done: a journal that cannot go is marked so, and never acted
            // on again; one that cannot even be marked stops the install.
            if (c.files.RemoveFile(path) == 0 || journal.done) break;
            if (const std::uint32_t error = c.AddToJournal(path, FormatDone()); error != 0) {
                result.notRestored.push_back({name, folder, error});
                whole = false;
            }
            break;
        }
    }
    return whole;
}

void Sweep(Context& c, const std::wstring& folder)
{
    const auto& pending = c.Pending();
    // A leftover a listing misses stays for a later run; a name of this
    // run's it misses is found taken when a copy is made under it.
    std::uint32_t error = 0;
    for (const auto& [name, parts] : OwnNames(c, folder, L"~setup-*", error)) {
        if (parts.run == c.run) c.CounterTaken(parts.counter);
        if (parts.kind != L"tmp" && parts.kind != L"new") continue;
        const std::wstring path = JoinPath(folder, name);
        // A copy for the restart stays while the restart work may name it.
        bool waiting = parts.kind == L"new" && !pending;
        for (const auto& work : pending ? *pending : std::vector<RestartWork>{})
            waiting = waiting || c.files.SamePath(work.from, path);
        if (!waiting) (void)c.files.RemoveFile(path);  // one held open stays for a later run
    }
}

}  // namespace setup::install
