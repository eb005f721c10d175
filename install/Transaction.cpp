#include "install/Transaction.h"

#include <utility>

#include "install/Journal.h"

namespace setup::install {
namespace {

constexpr std::size_t kMaxCompared = 16 << 20;  // an INF file compared whole

}  // namespace

Transaction::Transaction(Context& context, Result& result, std::vector<Item> items)
    : m_context(context), m_result(result), m_items(std::move(items))
{
}

bool Transaction::Begin()
{
    Journal journal;
    journal.run = m_context.run;
    for (const auto& item : m_items) {
        if (journal.folders.empty() || journal.folders.back() != item.folder) journal.folders.push_back(item.folder);
        journal.entries.push_back({journal.folders.size() - 1, item.name, item.existed, item.staged->Id(), item.counter});
    }
    m_journal = m_context.TemporaryPath(JournalFolder(), m_context.NewCounter(), L"jnl");
    const std::uint32_t error =
        m_context.patience.Retry([&] { return m_context.files.WriteJournal(m_journal, FormatJournal(journal), false); });
    if (error == 0) return Prepare();
    // Its name is this run's alone; what was written of it is no journal.
    (void)m_context.files.RemoveFile(m_journal);
    m_result.failures.push_back(JournalFailure(error));
    m_items.clear();  // every copy is deleted
    m_result.filesUnchanged = true;
    return false;
}

// Gives every old file its second name and makes sure it can be renamed,
// before the driver store changes.
bool Transaction::Prepare()
{
    const bool prepared = EachItem(m_items.begin(), m_items.end(), [&](Item& item, FolderScope& scope) {
        std::uint32_t error = scope.Error();
        if (!item.existed) {
            // One that appears now is not in the journal: nothing has
            // changed yet, so the install stops here.
            if (error == 0 && scope.Names().Attributes(item.name)) error = kErrorFileExists;
            return Succeeded(item, error);
        }
        if (error == 0) error = m_context.files.LinkFile(item.target, Backup(item));
        item.backedUp = error == 0;
        // Held open by another program: replaced at restart. Anything else
        // that keeps it from being renamed fails it now.
        if (error == 0) error = m_context.files.CheckRenamable(item.target);
        return Succeeded(item, HeldOpen(error) ? 0 : error);
    });
    if (!prepared) Abandon(m_failed);
    return prepared;
}

bool Transaction::Added(const std::wstring& publishedName)
{
    const std::uint32_t error = m_context.AddToJournal(m_journal, FormatPublished(publishedName));
    if (error == 0) {
        m_published.push_back(publishedName);
        return true;
    }
    // Not in the journal, so no later run would take it out: it goes now.
    if (const std::uint32_t removeError = m_context.RemovePackage(publishedName); removeError != 0)
        m_result.notRestored.push_back({publishedName, kDriverStore, removeError});
    Abandon(JournalFailure(error));
    return false;
}

bool Transaction::Succeeded(const Item& item, std::uint32_t error)
{
    if (error != 0) m_failed = Failure{item.name, item.folder, error};
    return error == 0;
}

void Transaction::Commit()
{
    const auto placed = [&](Item& item, FolderScope& scope) {
        std::uint32_t error = scope.Error();
        if (error == 0) error = PutInPlace(item);
        return Succeeded(item, error);
    };
    const auto restartWork = [&](Item& item, FolderScope& scope) {
        std::uint32_t error = scope.Error();
        if (error == 0 && item.state == Item::State::AtRestart)
            error = m_context.restart.ReplaceAtRestart(Kept(item), item.target);
        if (error == 0 && item.state == Item::State::SetAside) error = m_context.restart.DeleteAtRestart(Aside(item));
        if (error == 0 && item.state != Item::State::AtRestart) error = Guard(item);
        return Succeeded(item, error);
    };
    if (!EachItem(m_items.begin(), m_items.end(), placed) || !EachItem(m_items.begin(), m_items.end(), restartWork))
        return Abandon(m_failed);
    // The renames survive a power cut before the message says they are
    // done; then the journal says so.
    std::wstring flushed;
    (void)EachItem(m_items.begin(), m_items.end(), [&](const Item& item, FolderScope&) {
        // Where the file system cannot flush a folder, it writes its
        // entries through on its own.
        if (item.folder != flushed) (void)m_context.files.FlushFolder(flushed = item.folder);
        return true;
    });
    // Until the journal says so, the next run would take the install back;
    // a run that cannot say so takes it back itself.
    if (const std::uint32_t error = m_context.AddToJournal(m_journal, FormatCommitted()); error != 0)
        return Abandon(JournalFailure(error));
    bool clean = true;  // no old file's name is left for the next run to let go
    (void)EachItem(m_items.begin(), m_items.end(), [&](Item& item, FolderScope&) {
        if (item.backedUp) clean = m_context.Drop(Backup(item)) && clean;
        // The earlier replacements go; where one cannot, the guard stays
        // and replaces it again after them (where it cannot go either, it
        // replaces the file with itself at the restart).
        if (m_context.CancelEarlierReplacements(item.target, Kept(item)) && item.guarded)
            (void)m_context.files.RemoveFile(Kept(item));
        m_result.restartNeeded =
            m_result.restartNeeded || item.state == Item::State::AtRestart || item.state == Item::State::SetAside;
        ++m_result.copied;
        return true;
    });
    // A finished journal that stays is only cleared by the next run.
    if (clean) (void)m_context.files.RemoveFile(m_journal);
}

// A copy put in place while earlier runs' replacements of its file wait for
// the restart (or while that cannot be read) gets a second name that
// replaces the file again after them, so that the restart cannot bring an
// older version back, should one of them not be cancelled.
std::uint32_t Transaction::Guard(Item& item)
{
    const auto earlier = m_context.EarlierReplacements(item.target, Kept(item));
    if (earlier && earlier->empty()) return 0;
    std::uint32_t error = m_context.files.LinkFile(item.target, Kept(item));
    item.guarded = error == 0;
    if (error == 0) error = m_context.restart.ReplaceAtRestart(Kept(item), item.target);
    return error;
}

// The target is looked at once more right before it is replaced: a file
// that another program put there since the install looked (an updater,
// while the driver store took the package) stays, and fails the install. A
// new file goes in only where no file has its name, but for the driver
// store's own copy of an INF file, which holds the package's bytes.
std::uint32_t Transaction::PutInPlace(Item& item)
{
    if (item.existed) {
        const auto now = m_context.files.IdOf(item.target);
        if (!now || !item.seen || !(*now == *item.seen)) return kErrorChangedMeanwhile;
    }
    std::uint32_t error = item.staged->PutInPlace(item.target, item.existed);
    if (!item.existed && item.registered && (error == kErrorAlreadyExists || error == kErrorFileExists)) {
        std::vector<char> there, package;
        const std::uint32_t read = m_context.patience.Retry([&] {
            std::uint32_t e = m_context.facts.ReadFile(item.target, kMaxCompared, there);
            return e ? e : m_context.facts.ReadFile(item.source, kMaxCompared, package);
        });
        if (read == 0 && there == package) error = item.staged->PutInPlace(item.target, true);
    }
    if (error == 0) {
        item.state = Item::State::Placed;
        return 0;
    }
    if (!Busy(error) || !item.existed) return error;

    // The old file is in use: renamed away, it can still be replaced. A
    // loaded driver is renamed away at once; a file that another program
    // holds is tried again, the replace first, while the install's patience
    // lasts: a scanner lets go within a moment.
    bool again = false;
    error = m_context.patience.Retry([&] {
        if (std::exchange(again, true)) {
            const std::uint32_t replaced = item.staged->PutInPlace(item.target, true);
            if (replaced == 0) item.state = Item::State::Placed;
            if (!Busy(replaced)) return replaced;
        }
        return m_context.files.RenameFile(item.target, Aside(item));
    });
    if (item.state == Item::State::Placed) return 0;
    if (error == 0) {
        item.state = Item::State::SetAside;  // undone from its new name, whatever comes next
        return item.staged->PutInPlace(item.target, true);
    }
    if (!HeldOpen(error)) return error;
    // Not even that: the copy waits beside it for the restart.
    error = item.staged->KeepAs(Kept(item));
    if (error == 0) item.state = Item::State::AtRestart;
    return error;
}

void Transaction::Abandon(const std::optional<Failure>& failure)
{
    if (failure) m_result.failures.push_back(*failure);
    bool undone = true, clean = true;
    (void)EachItem(m_items.rbegin(), m_items.rend(), [&](Item& item, FolderScope& scope) {
        const std::uint32_t undoError = scope.Error() ? scope.Error() : Undo(item);
        if (undoError != 0) {
            m_result.notRestored.push_back({item.name, item.folder, undoError});
            undone = false;
        } else if (item.backedUp) {
            clean = m_context.Drop(Backup(item)) && clean;
        }
        item.staged.reset();  // a copy not yet in place is deleted
        return true;
    });
    // Otherwise the journal stays, and the next run does the rest, the
    // driver store included.
    for (const auto& published : undone && clean ? m_published : std::vector<std::wstring>{})
        if (const std::uint32_t removeError = m_context.RemovePackage(published); removeError != 0) {
            m_result.notRestored.push_back({published, kDriverStore, removeError});
            clean = false;
        }
    // A journal of a run taken back whole that stays is only cleared by
    // the next run.
    if (undone && clean) (void)m_context.files.RemoveFile(m_journal);
    m_result.filesUnchanged = undone;
}

std::uint32_t Transaction::Undo(Item& item)
{
    // Its second name for the restart goes first: the restart then finds
    // nothing to move.
    if (item.guarded)
        if (const std::uint32_t error = m_context.files.RemoveFile(Kept(item)); error != 0 && error != kErrorFileNotFound)
            return error;
    item.guarded = false;
    switch (item.state) {
    case Item::State::Staged: return 0;
    case Item::State::Placed:
        if (!item.existed) return m_context.files.RemoveFile(item.target);
        return item.backedUp ? m_context.files.MoveOver(Backup(item), item.target) : kErrorFileNotFound;
    case Item::State::SetAside: return m_context.files.MoveOver(Aside(item), item.target);
    case Item::State::AtRestart:
        // Its replacement at restart finds nothing to move.
        return m_context.files.RemoveFile(Kept(item));
    }
    return 0;
}

}  // namespace setup::install
