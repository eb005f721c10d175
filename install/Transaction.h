// The changes an install makes to the destination folders, as one
// transaction: either every copy takes its target's place, or every change
// is taken back, the driver store's included.
//
// Begin writes the journal and flushes it (what the next run needs to take
// this one back should it die), gives every old file a second name to come
// back from and makes sure it can be renamed. The driver store then takes
// the packages (Added notes each in the journal). Commit looks at each
// target once more, puts each copy in place by one rename over its old file
// (a file in use is renamed away, or replaced when Windows restarts), makes
// the renames durable and marks the journal finished. A failure on the way
// takes back what was done before it; what cannot be put back keeps its
// second name and the journal, and the next run puts it back.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "install/Context.h"

namespace setup::install {

// One package file on its way to its target.
struct Item {
    std::wstring name, folder, target;
    std::wstring source;        // the package file
    std::uint32_t counter = 0;  // of its temporary names
    bool existed = false;
    std::optional<FileId> seen;  // the old file, when the install looked at the target
    // An INF file: the driver store may put its own copy of it at the
    // file's name while it takes the package (Wine does), which is replaced.
    bool registered = false;
    bool backedUp = false;  // the old file has its second name (.bak)
    bool guarded = false;   // a second name of the copy (.new) replaces it again at restart
    std::unique_ptr<StagedFile> staged;
    enum class State { Staged, Placed, SetAside, AtRestart } state = State::Staged;
};

class Transaction {
public:
    Transaction(Context& context, Result& result, std::vector<Item> items);

    // Writes the journal and gives every old file its second name. False
    // when that stopped (the failure noted, everything taken back).
    [[nodiscard]] bool Begin();
    // Notes in the journal a package the driver store added, which an undo
    // takes out again. False when it cannot be noted: then it is taken out
    // now, and the whole install taken back.
    [[nodiscard]] bool Added(const std::wstring& publishedName);
    // Puts every copy in place; takes everything back if one fails.
    void Commit();
    // Takes back every change so far, after noting failure if it has one.
    void Abandon(const std::optional<Failure>& failure = std::nullopt);

private:
    // Runs work(item, scope) on the items of [first, last), folder by
    // folder; false when it stops.
    template <typename It, typename Work>
    bool EachItem(It first, It last, Work work)
    {
        return EachInFolder(m_context, first, last, [](const Item& item) -> const std::wstring& { return item.folder; },
                            work);
    }
    // Notes the item's failure (not 0) for Abandon, which runs outside
    // every folder's scope; true when there is none.
    [[nodiscard]] bool Succeeded(const Item& item, std::uint32_t error);
    [[nodiscard]] bool Prepare();
    [[nodiscard]] std::uint32_t PutInPlace(Item& item);
    [[nodiscard]] std::uint32_t Guard(Item& item);
    [[nodiscard]] std::uint32_t Undo(Item& item);
    // The journal lives beside the INF files, where every run looks for it.
    std::wstring JournalFolder() const { return JoinPath(m_context.windows, L"Inf"); }
    Failure JournalFailure(std::uint32_t error) const { return {NameOf(m_journal), JournalFolder(), error}; }
    std::wstring Backup(const Item& item) const { return m_context.TemporaryPath(item.folder, item.counter, L"bak"); }
    std::wstring Aside(const Item& item) const { return m_context.TemporaryPath(item.folder, item.counter, L"old"); }
    std::wstring Kept(const Item& item) const { return m_context.TemporaryPath(item.folder, item.counter, L"new"); }

    Context& m_context;
    Result& m_result;
    std::vector<Item> m_items;
    std::wstring m_journal;
    std::vector<std::wstring> m_published;  // packages this run added to the driver store
    std::optional<Failure> m_failed;        // what stopped the install, for Abandon
};

}  // namespace setup::install
