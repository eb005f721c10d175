#include "install/DriverInstall.h"

#include <memory>
#include <vector>
#include <utility>

#include "install/Journal.h"
#include "install/Processors.h"
#include "install/Recovery.h"
#include "install/Versions.h"
#include "text/Ascii.h"

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

constexpr int kNameAttempts = 64;  // fresh temporary names tried before giving up
constexpr std::size_t kMaxInfBytes = 16 << 20;  // an INF file read whole; real ones take a few hundred KB
constexpr std::size_t kSysPass = 2;

// A file of the package: its name, and where it lies (in Driver, or in
// Driver's folder for this Windows' processor).
struct PackageFile {
    std::wstring name, source;
};

bool IsOrdinaryFile(std::uint32_t attributes)
{
    return (attributes & (kAttributeDirectory | kAttributeHidden | kAttributeSystem)) == 0;
}

// One package file on its way to its target.
struct Item {
    std::wstring name, folder, target;
    std::uint32_t counter = 0;  // of its temporary names
    bool existed = false;
    // An INF file: the driver store may put its copy of it at the file's
    // name while it takes the package (Wine does), so its name may be taken
    // by the time it is put in place.
    bool registered = false;
    bool backedUp = false;      // the old file has its second name (.bak)
    bool guarded = false;       // a second name of the copy (.new) replaces it again at restart
    std::unique_ptr<StagedFile> staged;
    enum class State { Staged, Placed, SetAside, AtRestart } state = State::Staged;
};

class Install {
public:
    Install(Context& context, Result& result, FileFacts& facts, const std::wstring& programFolder)
        : m_c(context), m_result(result), m_programFolder(programFolder),
          m_source(JoinPath(programFolder, L"Driver")), m_facts(facts), m_patience(facts)
    {
    }

    // Lists the package's files, and refuses a package that cannot be
    // installed, before the lock is taken or anything changes.
    bool List()
    {
        for (const Pass& pass : kPasses) {
            std::vector<PackageFile>& files = m_files.emplace_back();
            if (!ListFolder(m_source, pass.extension, files)) return false;
        }
        if (!ListProcessorFolder()) return false;
        // The driver store publishes packages under these names, and a copy
        // under one of them would replace another vendor's driver.
        for (const auto& file : m_files[0])
            if (IsReservedInfName(file.name))
                m_result.failures.push_back({file.name, JoinPath(m_c.windows, kPasses[0].destination), kErrorReservedName});
        return m_result.failures.empty();
    }

    void Run()
    {
        if (!Check()) return;
        Stage();
        if (!m_result.failures.empty() || m_items.empty()) {
            m_items.clear();  // every copy is deleted
            m_result.filesUnchanged = !m_result.failures.empty();
            return;
        }
        if (!LookAtTargets() || !WriteJournal() || !Prepare()) return;
        // Registered from the package before the copies are in place: that
        // is where the driver store takes the package from. Nothing after
        // this can fail for a reason foreseen before it. A package the
        // store refuses is one Windows will not use: nothing goes in.
        for (const auto& inf : m_files[0]) {
            std::wstring published;
            bool added = false;
            const std::uint32_t error = RegisterDriverPackage(m_c, m_facts, inf.source, published, added);
            if (error != 0) {
                m_result.refused.push_back({inf.name, kDriverStore, error, {}, Lacking(inf)});
                TakeBackAll();
                return;
            }
            if (!added) continue;
            m_published.push_back(published);
            m_c.files.WriteJournal(m_journal, FormatPublished(published), true);
        }
        Commit();
    }

private:
    // Refuses, before anything changes, a driver image for another
    // processor and a package with an older file than one installed.
    bool Check()
    {
        for (std::size_t p = 0; p < std::size(kPasses); ++p) {
            const std::wstring folder = JoinPath(m_c.windows, kPasses[p].destination);
            const bool inf = p == 0;
            // The package's files first; the installed ones, where the
            // package's has a version to compare, in their folder's scope.
            std::vector<std::optional<FoundVersion>> package;
            for (const auto& file : m_files[p])
                package.push_back(CheckPackageFile(m_facts, m_patience, file.source, {file.name, folder, 0}, inf,
                                                   p == kSysPass, m_result));
            FolderScope scope(m_c, folder);
            for (std::size_t i = 0; !scope.Error() && i < package.size(); ++i) {
                const std::wstring& name = m_files[p][i].name;
                if (!package[i] || !scope.Names().Attributes(name)) continue;
                CompareWithInstalled(*package[i], ReadVersion(m_facts, m_patience, JoinPath(folder, name), inf),
                                     {name, folder, 0}, m_result);
            }
        }
        m_result.filesUnchanged = !m_result.failures.empty() || !m_result.newer.empty();
        return !m_result.filesUnchanged;
    }

    bool RefuseDriverFolder(std::uint32_t error)
    {
        // A file in the folder's place is not found as a folder.
        const auto attributes = m_c.files.Attributes(m_source);
        if (attributes && !(*attributes & kAttributeDirectory)) error = kErrorDirectory;
        m_result.failures.push_back({L"Driver", m_programFolder, error});
        return false;
    }

    // Adds the ordinary files of folder with the extension to files; one of
    // a name already there takes its place.
    bool ListFolder(const std::wstring& folder, const wchar_t* extension, std::vector<PackageFile>& files)
    {
        std::uint32_t error = 0;
        const auto search = m_c.files.FindFiles(JoinPath(folder, L"*.") + extension, error);
        if (error != 0) return RefuseDriverFolder(error);
        FoundFile file;
        // The wildcard also matches short 8.3 names (a.info is A~1.INF), so
        // the extension is checked again; a failing search ends the pass.
        while (search && search->Next(file)) {
            if (!IsOrdinaryFile(file.attributes) || !HasExtension(file.name, extension)) continue;
            PackageFile found{file.name, JoinPath(folder, file.name)};
            bool replaced = false;
            for (auto& known : files)
                if (!replaced && m_c.files.SamePath(known.name, file.name)) {
                    known = found;
                    replaced = true;
                }
            if (!replaced) files.push_back(std::move(found));
        }
        return true;
    }

    // Real packages keep their .sys files in a folder per processor
    // (amd64, x86, ...): the one for this Windows' kernel is installed
    // beside Driver's own, its files taking the place of theirs; the
    // others are left alone. A package with such folders but none for this
    // processor, and no .sys file of its own, has no driver for this
    // Windows.
    bool ListProcessorFolder()
    {
        const Processor* kernel = ProcessorOfMachine(m_facts.KernelMachine());
        if (!kernel) return true;
        std::uint32_t error = 0;
        const auto search = m_c.files.FindFiles(JoinPath(m_source, L"*"), error);
        if (error != 0) return RefuseDriverFolder(error);
        std::vector<std::wstring> own;
        bool others = false;
        FoundFile entry;
        while (search && search->Next(entry)) {
            const Processor* processor = (entry.attributes & kAttributeDirectory) ? ProcessorOfFolder(entry.name) : nullptr;
            if (processor == kernel) own.push_back(entry.name);
            others = others || (processor && processor != kernel);
        }
        if (own.size() > 1) {
            m_result.failures.push_back({own[0] + L", " + own[1], m_source, kErrorTwoProcessorFolders});
            return false;
        }
        if (own.empty() && others && m_files[kSysPass].empty()) {
            m_result.failures.push_back({L"Driver", m_programFolder, kErrorMachineMismatch});
            return false;
        }
        return own.empty() || ListFolder(JoinPath(m_source, own[0]), kPasses[kSysPass].extension, m_files[kSysPass]);
    }

    // The files an INF file names for this processor that the package
    // lacks: its catalog and its source files. Said when the driver store
    // refuses it, which it does for each of them.
    std::wstring Lacking(const PackageFile& inf) const
    {
        const Processor* processor = ProcessorOfMachine(m_facts.KernelMachine());
        std::wstring lacking;
        for (const auto& needed : m_facts.InfNeeds(inf.source, processor ? processor->decoration : L"")) {
            const std::wstring path = RelativePath(needed);
            if (!path.empty() && !m_c.Exists(JoinPath(FolderOf(inf.source), path)))
                lacking += (lacking.empty() ? L"" : L", ") + path;
        }
        return lacking;
    }

    // Copies every package file beside its target, in folders whose
    // leftovers are cleared first.
    void Stage()
    {
        for (std::size_t p = 0; p < std::size(kPasses); ++p) {
            const std::wstring folder = JoinPath(m_c.windows, kPasses[p].destination);
            const FolderScope scope(m_c, folder);
            // A folder that this Windows does not have (System\IoSubSys
            // exists only on old ones) means the pass does not apply here.
            if (!scope.Error()) {
                const auto attributes = m_c.files.Attributes(folder);
                if (!attributes || !(*attributes & kAttributeDirectory)) continue;
                Sweep(m_c, folder);
            }
            for (const auto& file : m_files[p]) StageFile(folder, file, p == 0, scope.Error());
        }
    }

    void StageFile(const std::wstring& folder, const PackageFile& file, bool registered, std::uint32_t error)
    {
        const std::wstring& name = file.name;
        Item item;
        item.registered = registered;
        item.name = name;
        item.folder = folder;
        item.target = JoinPath(folder, name);
        // A name that a killed copy with this process's id left and that
        // could not be removed is passed over.
        for (int attempt = 0; error == 0 && attempt < kNameAttempts; ++attempt) {
            item.counter = m_c.NewCounter();
            // A package file that another program holds for a moment is
            // waited for.
            const std::wstring& source = file.source;
            const std::wstring temporary = m_c.TemporaryPath(folder, item.counter, L"tmp");
            error = m_patience.Retry([&] {
                std::uint32_t staging = 0;
                item.staged = m_c.files.Stage(source, temporary, staging);
                return staging;
            });
            if (item.staged) break;
            if (error == kErrorFileExists || error == kErrorAlreadyExists) error = 0;
            else if (error == 0) error = kErrorAccessDenied;
        }
        if (!item.staged && error == 0) error = kErrorFileExists;
        if (error != 0) {
            m_result.failures.push_back({name, folder, error});
            return;
        }
        m_items.push_back(std::move(item));
    }

    // Each target as it is now, when its old file is about to get its
    // second name, not as it was when the copying began: a file that
    // appeared meanwhile is backed up, or refused, like any other. Windows
    // does not copy over a read-only or hidden file; that rule holds even
    // where the system would not enforce it.
    bool LookAtTargets()
    {
        EachItem(m_items.begin(), m_items.end(), [&](Item& item, FolderScope& scope) {
            std::uint32_t error = scope.Error();
            const auto attributes = error ? std::nullopt : scope.Names().Attributes(item.name);
            item.existed = attributes.has_value();
            if (attributes && (*attributes & (kAttributeReadOnly | kAttributeHidden | kAttributeDirectory)))
                error = kErrorAccessDenied;
            if (error != 0) m_result.failures.push_back({item.name, item.folder, error});
            return true;
        });
        if (m_result.failures.empty()) return true;
        m_items.clear();  // every copy is deleted
        m_result.filesUnchanged = true;
        return false;
    }

    // Before the first change to a destination file: what the next run
    // needs to take this one back.
    bool WriteJournal()
    {
        Journal journal;
        journal.run = m_c.run;
        for (const auto& item : m_items) {
            if (journal.folders.empty() || journal.folders.back() != item.folder) journal.folders.push_back(item.folder);
            journal.entries.push_back(
                {journal.folders.size() - 1, item.name, item.existed, item.staged->Id(), item.counter});
        }
        m_journal = m_c.TemporaryPath(JournalFolder(), m_c.NewCounter(), L"jnl");
        const std::uint32_t error = m_c.files.WriteJournal(m_journal, FormatJournal(journal), false);
        if (error == 0) return true;
        m_c.files.RemoveFile(m_journal);
        m_result.failures.push_back({JournalName(), JournalFolder(), error});
        m_items.clear();
        m_result.filesUnchanged = true;
        return false;
    }

    // Gives every old file its second name and makes sure it can be
    // replaced, before the driver store changes.
    bool Prepare()
    {
        return EachItem(m_items.begin(), m_items.end(), [&](Item& item, FolderScope& scope) {
            std::uint32_t error = scope.Error();
            if (!item.existed) {
                // One that appears now is not in the journal: nothing has
                // changed yet, so the install stops here.
                if (error == 0 && scope.Names().Attributes(item.name)) error = kErrorFileExists;
                return Failed(item, error);
            }
            if (error == 0) error = m_c.files.LinkFile(item.target, Backup(item));
            item.backedUp = error == 0;
            // Held open by another program: replaced at restart. Anything
            // else that keeps it from being renamed fails it now.
            if (error == 0) error = m_c.files.CheckRenamable(item.target);
            return Failed(item, HeldOpen(error) ? 0 : error);
        }) || Abandoned();
    }

    // Runs work(item, scope) on the items of [first, last), folder by
    // folder; false when it stops.
    template <typename It, typename Work>
    bool EachItem(It first, It last, Work work)
    {
        return EachInFolder(m_c, first, last, [](const Item& item) -> const std::wstring& { return item.folder; }, work);
    }

    // Notes the item's failure (not 0) for Abandoned, outside every
    // folder's scope; true when there is none.
    bool Failed(const Item& item, std::uint32_t error)
    {
        if (error != 0) m_failed = {item.name, item.folder, error};
        return error == 0;
    }
    bool Abandoned()
    {
        Abandon(m_failed.name, m_failed.folder, m_failed.error);
        return false;
    }

    // Puts every copy in place, pass by pass; undoes them all if one fails.
    void Commit()
    {
        const auto placed = [&](Item& item, FolderScope& scope) {
            std::uint32_t error = scope.Error();
            if (error == 0) error = PutInPlace(item);
            return Failed(item, error);
        };
        const auto restartWork = [&](Item& item, FolderScope& scope) {
            std::uint32_t error = scope.Error();
            if (error == 0 && item.state == Item::State::AtRestart) error = m_c.restart.ReplaceAtRestart(Kept(item), item.target);
            if (error == 0 && item.state == Item::State::SetAside) error = m_c.restart.DeleteAtRestart(Aside(item));
            if (error == 0 && item.state != Item::State::AtRestart) error = Guard(item);
            return Failed(item, error);
        };
        if (!EachItem(m_items.begin(), m_items.end(), placed) || !EachItem(m_items.begin(), m_items.end(), restartWork)) {
            Abandoned();
            return;
        }
        // The renames survive a power cut before the message says they are
        // done; then the journal says so.
        std::wstring flushed;
        EachItem(m_items.begin(), m_items.end(), [&](const Item& item, FolderScope&) {
            if (item.folder != flushed) m_c.files.FlushFolder(flushed = item.folder);
            return true;
        });
        // Until the journal says so, the next run would take the install
        // back; a run that cannot say so takes it back itself.
        if (const std::uint32_t error = m_c.files.WriteJournal(m_journal, FormatCommitted(), true); error != 0)
            return Abandon(JournalName(), JournalFolder(), error);
        bool clean = true;  // no old file's name is left for the next run to let go
        EachItem(m_items.begin(), m_items.end(), [&](Item& item, FolderScope&) {
            if (item.backedUp) clean = m_c.Drop(Backup(item)) && clean;
            // The earlier replacements go; where one cannot, the guard
            // stays and replaces it again after them.
            if (m_c.CancelEarlierReplacements(item.target, Kept(item)) && item.guarded) m_c.files.RemoveFile(Kept(item));
            m_result.restartNeeded = m_result.restartNeeded || item.state == Item::State::AtRestart ||
                                     item.state == Item::State::SetAside;
            ++m_result.copied;
            return true;
        });
        if (clean) m_c.files.RemoveFile(m_journal);
    }

    // A copy put in place while earlier runs' replacements of its file wait
    // for the restart (or while that cannot be read) gets a second name that
    // replaces the file again after them, so that the restart cannot bring
    // an older version back, should one of them not be cancelled.
    std::uint32_t Guard(Item& item)
    {
        const auto earlier = m_c.EarlierReplacements(item.target, Kept(item));
        if (earlier && earlier->empty()) return 0;
        std::uint32_t error = m_c.files.LinkFile(item.target, Kept(item));
        item.guarded = error == 0;
        if (error == 0) error = m_c.restart.ReplaceAtRestart(Kept(item), item.target);
        return error;
    }

    // A new file goes in only where no file has its name: one that appeared
    // since the last look fails it, and is not lost. The driver store's copy
    // of an INF file is replaced.
    std::uint32_t PutInPlace(Item& item)
    {
        std::uint32_t error = item.staged->PutInPlace(item.target, item.existed || item.registered);
        if (error == 0) {
            item.state = Item::State::Placed;
            return 0;
        }
        if (!Busy(error) || !item.existed) return error;

        // The old file is in use: renamed away, it can still be replaced. A
        // loaded driver is renamed away at once; a file that another
        // program holds is tried again, the replace first, while the
        // install's patience lasts: a scanner lets go within a moment.
        bool again = false;
        error = m_patience.Retry([&] {
            if (std::exchange(again, true)) {
                const std::uint32_t replaced = item.staged->PutInPlace(item.target, true);
                if (replaced == 0) item.state = Item::State::Placed;
                if (!Busy(replaced)) return replaced;
            }
            return m_c.files.RenameFile(item.target, Aside(item));
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

    // Reports the failed file and takes back what was done before it. What
    // cannot be put back keeps its second name and the journal, and the
    // next run puts it back.
    void Abandon(const std::wstring& name, const std::wstring& folder, std::uint32_t error)
    {
        m_result.failures.push_back({name, folder, error});
        TakeBackAll();
    }

    // Takes back every change so far, the driver store's included.
    void TakeBackAll()
    {
        bool undone = true, clean = true;
        EachItem(m_items.rbegin(), m_items.rend(), [&](Item& item, FolderScope& scope) {
            const std::uint32_t undoError = scope.Error() ? scope.Error() : Undo(item);
            if (undoError != 0) {
                m_result.notRestored.push_back({item.name, item.folder, undoError});
                undone = false;
            } else if (item.backedUp) {
                clean = m_c.Drop(Backup(item)) && clean;
            }
            item.staged.reset();  // a copy not yet in place is deleted
            return true;
        });
        // Otherwise the journal stays, and the next run does the rest, the
        // driver store included.
        for (const auto& published : undone && clean ? m_published : std::vector<std::wstring>{})
            if (const std::uint32_t removeError = m_c.RemovePackage(published); removeError != 0) {
                m_result.notRestored.push_back({published, kDriverStore, removeError});
                clean = false;
            }
        if (undone && clean) m_c.files.RemoveFile(m_journal);
        m_result.filesUnchanged = undone;
    }

    std::uint32_t Undo(Item& item)
    {
        // Its second name for the restart goes first: the restart then finds
        // nothing to move.
        if (item.guarded)
            if (const std::uint32_t error = m_c.files.RemoveFile(Kept(item)); error != 0 && error != kErrorFileNotFound)
                return error;
        item.guarded = false;
        switch (item.state) {
        case Item::State::Staged: return 0;
        case Item::State::Placed:
            if (!item.existed) return m_c.files.RemoveFile(item.target);
            return item.backedUp ? m_c.files.MoveOver(Backup(item), item.target) : kErrorFileNotFound;
        case Item::State::SetAside: return m_c.files.MoveOver(Aside(item), item.target);
        case Item::State::AtRestart:
            // Its replacement at restart finds nothing to move.
            return m_c.files.RemoveFile(Kept(item));
        }
        return 0;
    }

    // The journal lives beside the INF files, where every run looks for it.
    std::wstring JournalFolder() const { return JoinPath(m_c.windows, kPasses[0].destination); }
    std::wstring JournalName() const { return NameOf(m_journal); }
    std::wstring Backup(const Item& item) const { return m_c.TemporaryPath(item.folder, item.counter, L"bak"); }
    std::wstring Aside(const Item& item) const { return m_c.TemporaryPath(item.folder, item.counter, L"old"); }
    std::wstring Kept(const Item& item) const { return m_c.TemporaryPath(item.folder, item.counter, L"new"); }

    Context& m_c;
    Result& m_result;
    const std::wstring m_programFolder;
    const std::wstring m_source;
    FileFacts& m_facts;
    Patience m_patience;
    std::vector<std::vector<PackageFile>> m_files;  // the package's files, by pass
    std::vector<Item> m_items;
    std::wstring m_journal;
    std::vector<std::wstring> m_published;  // packages this run added to the driver store
    Failure m_failed{};                     // what stopped the install, for Abandoned
};

}  // namespace

bool IsReservedInfName(const std::wstring& name)
{
    if (name.size() < 8 || !EqualsIgnoringAsciiCase(std::wstring_view(name).substr(0, 3), L"oem") || !HasExtension(name, L"inf"))
        return false;
    for (std::size_t i = 3; i + 4 < name.size(); ++i)
        if (name[i] < L'0' || name[i] > L'9') return false;
    return true;
}

namespace {

// The INF files the driver store publishes (oem<n>.inf) in the Inf folder,
// with their sizes; nullopt when the folder cannot be listed to its end.
std::optional<std::vector<FoundFile>> Published(const Context& c, std::uint32_t& error)
{
    std::vector<FoundFile> published;
    const auto search = c.files.FindFiles(JoinPath(c.windows, L"Inf\\oem*.inf"), error);
    if (error != 0) return std::nullopt;
    FoundFile file;
    while (search && search->Next(file))
        if (IsReservedInfName(file.name) && !(file.attributes & kAttributeDirectory)) published.push_back(file);
    if (search && (error = search->Error()) != 0) return std::nullopt;
    return published;
}

// Whether the published INF file holds exactly the package's bytes.
bool Holds(const Context& c, const FileFacts& facts, const std::wstring& publishedName, const std::vector<char>& bytes)
{
    std::vector<char> published;
    return facts.ReadFile(JoinPath(JoinPath(c.windows, L"Inf"), NameOf(publishedName)), kMaxInfBytes, published) == 0 &&
           published == bytes;
}

}  // namespace

std::uint32_t RegisterDriverPackage(Context& c, const FileFacts& facts, const std::wstring& inf,
                                    std::wstring& publishedName, bool& added)
{
    added = false;
    std::vector<char> bytes;
    if (const std::uint32_t error = facts.ReadFile(inf, kMaxInfBytes, bytes); error != 0) return error;
    std::uint32_t error = c.store.Add(inf, publishedName, added);
    if (error == 0) {
        // "Already there" only when what the store gives back is this
        // package: Wine takes any copy of the INF in the Inf folder for one.
        return added || Holds(c, facts, publishedName, bytes) ? 0 : kErrorFileExists;
    }
    if (error != kErrorInWow64) return error;
    // A 32-bit program on 64-bit Windows has the system's 64-bit pnputil
    // add it, which does not say under which name. Windows publishes it as
    // a copy of the INF file: the new oem<n>.inf of its bytes, or the one
    // that was there before if the store held the package already.
    const auto before = Published(c, error);
    if (!before) return error;
    std::uint32_t exitCode = 0;
    // Sysnative is where a 32-bit program sees the 64-bit System32.
    error = c.system.RunHidden(JoinPath(c.windows, L"Sysnative\\pnputil.exe"), L"-a \"" + inf + L"\"", exitCode);
    constexpr std::uint32_t kRebootRequired = 3010;  // added; the device takes it at restart
    if (error == 0 && exitCode != 0 && exitCode != kRebootRequired) error = exitCode;
    const auto after = error == 0 ? Published(c, error) : std::nullopt;
    if (!after) return error;
    for (const bool fresh : {true, false})
        for (const auto& file : fresh ? *after : *before) {
            bool old = false;
            for (const auto& known : *before) old = old || c.files.SamePath(known.name, file.name);
            if (old == fresh || file.size != bytes.size() || !Holds(c, facts, file.name, bytes)) continue;
            publishedName = file.name;
            added = fresh;
            return 0;
        }
    return kErrorNotPublished;
}

Result InstallDriverFiles(FileSystem& files, RestartQueue& restart, FolderRedirection& redirection, DriverStore& store,
                          System& system, FileFacts& facts,
                          const std::wstring& programFolder, const Progress& progress)
{
    // Before any folder redirection goes off on this thread.
    facts.Prepare();
    Result result;
    Context context(files, restart, redirection, store, system);
    Install install(context, result, facts, programFolder);
    if (!install.List()) {
        result.filesUnchanged = true;
        return result;
    }
    bool waited = false;
    std::uint32_t error = 0;
    const auto lock = system.LockInstalls(
        [&] {
            waited = true;
            if (progress.waiting) progress.waiting();
        },
        [&] { return progress.gate && progress.gate->Cancelled(); }, error);
    if (!lock && error != 0) {
        result.failures.push_back({L"Setup", kInstallLock, error});
        result.filesUnchanged = true;
        return result;
    }
    if (!lock || (progress.gate && !progress.gate->Start())) {
        result.cancelled = true;
        return result;
    }
    if (waited && progress.started) progress.started();
    // The restart work is read before anything turns the folder redirection
    // off. What an earlier run left half-done goes back first; while some
    // of it cannot, nothing else changes.
    context.Pending();
    if (!Recover(context, result)) return result;
    install.Run();
    return result;
}

}  // namespace setup::install
