// The system for the unit tests of the install: an in-memory file system,
// a driver store and the program's facts, each with failures on demand on
// every side. FakeMachine is all three at once, as the install sees them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "FakeTexts.h"
#include "app/Services.h"
#include "install/Services.h"

namespace setup::test {

// What the parts share: the log of calls in order, whether the install lock
// is held, the power, the folder redirection and the restart work.
struct FakeShared {
    mutable std::vector<std::wstring> calls;
    bool lockHeld = false;
    int powerCutAfter = -1;                                  // changes to the disk before the power goes
    int changesWithoutLock = 0;  // changes made while the install lock was not held
    std::uint32_t restartError = 0;                          // restart work cannot be recorded
    // Refuses one piece of restart work (from, to: 0 lets it through).
    std::function<std::uint32_t(const std::wstring&, const std::wstring&)> restartRefusal;
    bool pendingUnreadable = false;                          // the restart work cannot be read
    // A 32-bit program on 64-bit Windows: System32 is SysWOW64 unless
    // redirection is off.
    bool wow64 = false;
    std::uint32_t redirectionError = 0;
    bool redirectionOff = false;
    int redirectionDepth = 0;  // scopes that turned it off, nested

    std::vector<RestartWork> atRestart;

    static constexpr std::uint32_t kErrorNotReady = 21;  // the disk went away

    // The path a 32-bit program's call reaches.
    std::wstring Redirected(const std::wstring& path) const
    {
        const std::wstring system32 = L"c:\\windows\\system32";
        const std::wstring lower = Lower(path);
        if (!wow64 || redirectionOff || lower.rfind(system32, 0) != 0 ||
            (lower.size() > system32.size() && lower[system32.size()] != L'\\'))
            return path;
        return L"C:\\Windows\\SysWOW64" + path.substr(system32.size());
    }

    // Counts a change to the disk; false once the power has gone.
    bool Change()
    {
        if (!lockHeld) ++changesWithoutLock;
        if (powerCutAfter == 0) return false;
        if (powerCutAfter > 0) --powerCutAfter;
        return true;
    }
};

// A fake of one interface, which reaches what the parts share (S()): the
// machine it is part of points it there.
class FakePart {
public:
    static constexpr std::uint32_t kErrorNotReady = FakeShared::kErrorNotReady;
    void Attach(FakeShared& shared) { m_shared = &shared; }
    FakeShared& S() const { return *m_shared; }
    std::wstring Redirected(const std::wstring& path) const { return S().Redirected(path); }
    bool Change() const { return S().Change(); }

private:
    FakeShared* m_shared = nullptr;
};

// The restart work Windows keeps, with failures on demand.
class FakeRestartQueue : public RestartQueue, public FakePart {
public:
    std::uint32_t DeleteAtRestart(const std::wstring& path) override
    {
        S().calls.push_back(L"delete at restart " + path);
        if (S().restartError) return S().restartError;
        if (const std::uint32_t refused = S().restartRefusal ? S().restartRefusal(path, L"") : 0) return refused;
        if (!Change()) return kErrorNotReady;
        S().atRestart.push_back({Redirected(path), L""});
        return 0;
    }

    std::uint32_t ReplaceAtRestart(const std::wstring& from, const std::wstring& to) override
    {
        S().calls.push_back(L"replace at restart " + from + L" -> " + to);
        if (S().restartError) return S().restartError;
        if (const std::uint32_t refused = S().restartRefusal ? S().restartRefusal(from, to) : 0) return refused;
        if (!Change()) return kErrorNotReady;
        S().atRestart.push_back({Redirected(from), Redirected(to)});
        return 0;
    }

    std::optional<std::vector<RestartWork>> PendingRestartWork() const override
    {
        // Read through a DLL that a 32-bit program cannot load while the
        // redirection is off.
        S().calls.push_back(L"read restart work");
        if (S().pendingUnreadable || (S().wow64 && S().redirectionOff)) return std::nullopt;
        return S().atRestart;
    }
};

// The folder redirection of a 32-bit program on 64-bit Windows.
class FakeRedirection : public FolderRedirection, public FakePart {
public:
    bool RunsUnderWow64() const override { return S().wow64; }
    // As Windows does, each call saves the state it found, and its restore
    // puts back exactly that.
    std::uint32_t DisableFolderRedirection(void*& saved) override
    {
        S().calls.push_back(L"redirection off");
        if (S().redirectionError) return S().redirectionError;
        saved = reinterpret_cast<void*>(std::uintptr_t(S().redirectionOff ? 2 : 1));
        S().redirectionOff = true;
        ++S().redirectionDepth;
        return 0;
    }
    void RestoreFolderRedirection(void* saved) override
    {
        S().calls.push_back(L"redirection on");
        S().redirectionOff = reinterpret_cast<std::uintptr_t>(saved) == 2;
        --S().redirectionDepth;
    }

};

class FakeFiles : public FileSystem, public FakePart {
public:
    // ---- An in-memory file system, with failures on demand on every side.

    // The bytes of a file, which each of its names (links) shares, and who
    // else holds it open.
    enum class Holder {
        None,
        NoSharing,      // open, shared with nobody: no rename, no delete
        DeleteSharing,  // open, shared for deleting: renamed but not replaced
        Loaded,         // a loaded driver: renamed but neither replaced nor deleted
        Mapped,         // mapped into a process: renamed, but its replace says so (1224)
    };
    struct Node {
        std::string bytes;
        std::uint32_t attributes = 0;
        Holder holder = Holder::None;
        bool immutable = false;  // refuses every change, even to administrators
        std::wstring text;       // a journal's
        std::uint64_t id = 0;
        std::uint64_t written = 0;  // when it was made: a file id's time
        // Its id, with the size and time that tell a reused index apart.
        FileId Id() const { return FileId{7, id, bytes.size() + text.size(), written}; }
    };
    struct File {
        std::wstring path;  // as created
        std::shared_ptr<Node> node;
        bool markedForDeletion = false;  // a copy on its way: gone when the program ends
    };
    std::map<std::wstring, File> files;  // by lower-case path
    std::uint64_t nextId = 1;  // the index the next file gets: set it to reuse one
    std::uint64_t m_clock = 0;   // files made so far

    // Failures, by lower-case path.
    std::map<std::wstring, std::uint32_t> sourceErrors;      // reading the package file fails
    std::map<std::wstring, std::uint32_t> writeErrors;       // writing in a destination folder fails (disk full)
    std::map<std::wstring, std::uint32_t> placeErrors;       // renaming a copy over its target fails
    std::map<std::wstring, std::uint32_t> moveErrors;        // moving a file back over its target fails
    std::map<std::wstring, std::uint32_t> renameErrors;      // renaming a target away fails
    std::map<std::wstring, std::uint32_t> searchErrors;      // a folder (or a pattern) cannot be listed
    std::uint32_t linkError = 0;                             // no second names (a FAT disk)
    std::uint32_t journalError = 0;                          // the journal cannot be written
    // Refuses a line added to a journal (0 lets it through).
    std::function<std::uint32_t(const std::wstring& text)> journalRefusal;
    std::map<std::wstring, std::uint32_t> checkErrors;       // a file refuses to be opened for renaming
    std::set<std::wstring> undeletable;                       // files that refuse deletion, by lower-case path
    std::uint32_t journalReadError = 0;                      // a journal cannot be read
    // Refuses a move over a file (from, to: 0 lets it happen), for failures
    // that depend on the moment, such as only the second of two moves.
    std::function<std::uint32_t(const std::wstring&, const std::wstring&)> moveRefusal;
    int searchFailsAfter = -1;                               // names a search gives before it fails
    std::function<void(const std::wstring&)> whileStaging;   // another program's doing while a copy is written
    std::function<void()> whileJournalling;                  // ... while a journal is first written


    // Folders with renames that a power cut could still take back.
    std::set<std::wstring> unflushed;

    std::vector<std::wstring> placed;              // targets of the copies put in place, in order

    void AddFolder(const std::wstring& path)
    {
        AddParents(path);
        files[Lower(path)] = {path, NewNode({}, kAttributeDirectory), false};
    }
    void AddFile(const std::wstring& path, const std::string& bytes, std::uint32_t attributes = 0)
    {
        AddParents(path);
        files[Lower(path)] = {path, NewNode(bytes, attributes), false};
    }
    void Hold(const std::wstring& path, Holder holder) { files.at(Lower(path)).node->holder = holder; }
    const File* FileAt(const std::wstring& path) const
    {
        const auto found = files.find(Lower(path));
        return found == files.end() ? nullptr : &found->second;
    }
    std::string BytesAt(const std::wstring& path) const
    {
        const File* file = FileAt(path);
        return file ? file->node->bytes : "(none)";
    }
    // Names of the files in a folder.
    std::vector<std::wstring> FilesIn(const std::wstring& folder) const
    {
        std::vector<std::wstring> names;
        const std::wstring prefix = Lower(folder) + L"\\";
        for (const auto& [key, file] : files)
            if (key.rfind(prefix, 0) == 0 && key.find(L'\\', prefix.size()) == std::wstring::npos &&
                !(file.node->attributes & kAttributeDirectory))
                names.push_back(file.path.substr(prefix.size()));
        return names;
    }
    // What the system does when the program ends (power true: when the
    // power goes, which forgets the deletions a program asked for).
    void EndProgram(bool power)
    {
        for (auto it = files.begin(); it != files.end();)
            it = it->second.markedForDeletion && !power ? files.erase(it) : std::next(it);
        for (auto& [key, file] : files) file.markedForDeletion = false;
        S().powerCutAfter = -1;
    }
    // What the system does when it starts: the work left for it.
    void Restart()
    {
        for (const auto& work : S().atRestart) {
            const auto from = files.find(Lower(work.from));
            if (from == files.end()) continue;
            File moved = from->second;
            files.erase(from);
            if (!work.to.empty()) {
                moved.path = work.to;
                files[Lower(work.to)] = moved;
            }
        }
        S().atRestart.clear();
        for (auto& [key, file] : files) file.node->holder = Holder::None;
    }

    // Like Windows, "*.inf" also matches names whose extension only starts
    // with inf (their 8.3 short names end in .INF), and "~setup-*" any name
    // that starts so.
    std::unique_ptr<FileSearch> FindFiles(const std::wstring& pattern, std::uint32_t& error) const override
    {
        S().calls.push_back(L"search " + pattern);
        const std::wstring real = Lower(Redirected(pattern));
        const auto slash = real.find_last_of(L'\\');
        const std::wstring folder = real.substr(0, slash), wildcard = real.substr(slash + 1);
        const File* folderFile = FileAt(folder);
        error = 0;
        if (const auto e = searchErrors.find(folder); e != searchErrors.end()) error = e->second;
        else if (const auto p = searchErrors.find(real); p != searchErrors.end()) error = p->second;
        else if (!folderFile || !(folderFile->node->attributes & kAttributeDirectory)) error = kErrorPathNotFound;
        if (error) return nullptr;
        const auto star = wildcard.find(L'*');
        const std::wstring before = wildcard.substr(0, star), after = wildcard.substr(star + 1);
        std::vector<FoundFile> found;
        for (const auto& [key, file] : files) {
            if (key.size() <= folder.size() + 1 || key.compare(0, folder.size() + 1, folder + L"\\") != 0) continue;
            const std::wstring name = key.substr(folder.size() + 1);
            if (name.find(L'\\') != std::wstring::npos || name.rfind(before, 0) != 0) continue;
            const std::wstring rest = name.substr(before.size());
            const auto dot = rest.find_last_of(L'.');
            const bool matches = after.empty() || (after[0] == L'.' ? dot != std::wstring::npos &&
                                                                          rest.compare(dot, after.size(), after) == 0
                                                                    : rest == after);
            if (matches) found.push_back({file.path.substr(folder.size() + 1), file.node->attributes, file.node->bytes.size()});
        }
        if (found.empty()) return nullptr;
        // In NTFS's order: by the names in upper case.
        std::sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) { return Upper(a.name) < Upper(b.name); });
        return std::make_unique<Search>(std::move(found), searchFailsAfter);
    }

    bool SamePath(const std::wstring& a, const std::wstring& b) const override { return Lower(a) == Lower(b); }

    std::optional<std::uint32_t> Attributes(const std::wstring& path) const override
    {
        const File* file = FileAt(Redirected(path));
        if (!file) return std::nullopt;
        return file->node->attributes;
    }

    std::optional<FileId> IdOf(const std::wstring& path) const override
    {
        const File* file = FileAt(Redirected(path));
        if (!file) return std::nullopt;
        return file->node->Id();
    }

    std::unique_ptr<StagedFile> Stage(const std::wstring& source, const std::wstring& temporary,
                                      std::uint32_t& error) override
    {
        S().calls.push_back(L"stage " + source + L" -> " + temporary);
        const std::wstring to = Redirected(temporary);
        const File* from = FileAt(source);
        if (!from) return Fail(error, kErrorFileNotFound);
        if (const auto e = sourceErrors.find(Lower(source)); e != sourceErrors.end()) return Fail(error, e->second);
        if (from->node->holder == Holder::NoSharing) return Fail(error, kErrorSharingViolation);
        if (FileAt(to)) return Fail(error, kErrorFileExists);
        if (!Change()) return Fail(error, kErrorNotReady);
        if (whileStaging) whileStaging(source);
        const std::string bytes = from->node->bytes;
        files[Lower(to)] = {to, NewNode({}, 0), true};
        if (const auto e = writeErrors.find(Lower(Folder(to))); e != writeErrors.end()) {
            files.erase(Lower(to));  // the system deletes the marked file
            return Fail(error, e->second);
        }
        files[Lower(to)].node->bytes = bytes;
        error = 0;
        return std::make_unique<Staged>(*this, to);
    }

    std::uint32_t LinkFile(const std::wstring& existing, const std::wstring& link) override
    {
        S().calls.push_back(L"link " + existing + L" -> " + link);
        if (linkError) return linkError;
        const File* file = FileAt(Redirected(existing));
        if (!file) return kErrorFileNotFound;
        if (file->node->immutable) return kErrorAccessDenied;
        if (FileAt(Redirected(link))) return kErrorAlreadyExists;
        if (!Change()) return kErrorNotReady;
        files[Lower(Redirected(link))] = {Redirected(link), file->node, false};
        return 0;
    }

    std::uint32_t RenameFile(const std::wstring& from, const std::wstring& to) override
    {
        S().calls.push_back(L"rename " + from + L" -> " + to);
        const File* file = FileAt(Redirected(from));
        if (!file) return kErrorFileNotFound;
        if (const auto e = renameErrors.find(Lower(from)); e != renameErrors.end()) return e->second;
        if (file->node->holder == Holder::NoSharing) return kErrorSharingViolation;
        if (file->node->immutable) return kErrorAccessDenied;
        if (FileAt(Redirected(to))) return kErrorAlreadyExists;
        return Move(Redirected(from), Redirected(to));
    }

    std::uint32_t MoveOver(const std::wstring& from, const std::wstring& to) override
    {
        S().calls.push_back(L"move " + from + L" -> " + to);
        const File* file = FileAt(Redirected(from));
        if (!file) return kErrorFileNotFound;
        if (const auto e = moveErrors.find(Lower(to)); e != moveErrors.end()) return e->second;
        if (const std::uint32_t refused = moveRefusal ? moveRefusal(from, to) : 0) return refused;
        if (file->node->holder == Holder::NoSharing || file->node->immutable) return kErrorAccessDenied;
        if (const std::uint32_t error = Replaceable(FileAt(Redirected(to)))) return error;
        return Move(Redirected(from), Redirected(to));
    }

    std::uint32_t RemoveFile(const std::wstring& path) override
    {
        S().calls.push_back(L"remove " + path);
        const File* file = FileAt(Redirected(path));
        if (!file) return kErrorFileNotFound;
        if (file->node->holder == Holder::NoSharing) return kErrorSharingViolation;
        if (file->node->holder == Holder::Loaded || file->node->holder == Holder::Mapped || file->node->immutable)
            return kErrorAccessDenied;
        if (undeletable.count(Lower(Redirected(path))) || (file->node->attributes & kAttributeReadOnly))
            return kErrorAccessDenied;
        if (!Change()) return kErrorNotReady;
        files.erase(Lower(Redirected(path)));
        return 0;
    }

    std::uint32_t CheckRenamable(const std::wstring& path) override
    {
        S().calls.push_back(L"check " + path);
        const File* file = FileAt(Redirected(path));
        if (!file) return kErrorFileNotFound;
        if (const auto e = checkErrors.find(Lower(path)); e != checkErrors.end()) return e->second;
        return file->node->holder == Holder::NoSharing ? kErrorSharingViolation : 0;
    }

    std::uint32_t FlushFolder(const std::wstring& folder) override
    {
        S().calls.push_back(L"flush " + folder);
        unflushed.erase(Lower(Redirected(folder)));
        return 0;
    }

    std::uint32_t WriteJournal(const std::wstring& path, const std::wstring& text, bool append) override
    {
        S().calls.push_back(std::wstring(append ? L"add to " : L"write ") + path);
        // The disk fills up once the new journal's file is made.
        if (!append && whileJournalling) whileJournalling();
        if (journalError && !append && !FileAt(path)) files[Lower(path)] = {path, NewNode({}, 0), false};
        if (journalError) return journalError;
        if (FileAt(path) && FileAt(path)->node->holder == Holder::NoSharing) return kErrorSharingViolation;
        if (const std::uint32_t refused = append && journalRefusal ? journalRefusal(text) : 0) return refused;
        if (append && FileAt(path) && (FileAt(path)->node->attributes & kAttributeReadOnly)) return kErrorAccessDenied;
        if (!Change()) return kErrorNotReady;
        if (!append || !FileAt(path)) files[Lower(path)] = {path, NewNode({}, 0), false};
        files.at(Lower(path)).node->text += text;
        return 0;
    }

    std::uint32_t ReadJournal(const std::wstring& path, std::wstring& text) const override
    {
        const File* file = FileAt(path);
        if (!file) return kErrorFileNotFound;
        if (journalReadError) return journalReadError;
        text = file->node->text;
        return 0;
    }

private:
    // A copy on its way, marked for deletion until it is put in place.
    class Staged : public StagedFile {
    public:
        Staged(FakeFiles& fake, std::wstring path) : m_fake(fake), m_path(std::move(path)) {}
        ~Staged() override
        {
            // Dropped before it was put in place: the system deletes it,
            // unless the power has gone. A change to the disk too.
            if (!m_done && m_fake.S().powerCutAfter != 0 && m_fake.files.erase(Lower(m_path)))
                m_fake.S().changesWithoutLock += !m_fake.S().lockHeld;
        }
        std::uint32_t PutInPlace(const std::wstring& target, bool replace) override
        {
            m_fake.S().calls.push_back(L"put " + m_path + L" -> " + target);
            const std::wstring to = m_fake.Redirected(target);
            if (const auto e = m_fake.placeErrors.find(Lower(to)); e != m_fake.placeErrors.end()) return e->second;
            if (!replace && m_fake.FileAt(to)) return kErrorAlreadyExists;
            if (const std::uint32_t error = Replaceable(m_fake.FileAt(to))) return error;
            return Finish(to, true);
        }
        std::uint32_t KeepAs(const std::wstring& path) override
        {
            m_fake.S().calls.push_back(L"keep " + m_path + L" as " + path);
            return Finish(m_fake.Redirected(path), false);
        }
        std::optional<FileId> Id() const override
        {
            const File* file = m_fake.FileAt(m_path);
            if (!file) return std::nullopt;
            return file->node->Id();
        }

    private:
        std::uint32_t Finish(const std::wstring& to, bool placing)
        {
            if (!placing && m_fake.FileAt(to)) return kErrorAlreadyExists;
            if (!m_fake.Change()) return kErrorNotReady;
            m_fake.files.at(Lower(m_path)).markedForDeletion = false;
            const std::uint32_t error = m_fake.Move(m_path, to);
            if (error == 0) {
                m_done = true;
                m_path = to;
                if (placing) m_fake.placed.push_back(to);
            }
            return error;
        }
        FakeFiles& m_fake;
        std::wstring m_path;
        bool m_done = false;
    };

    // Why a file cannot be replaced by a rename over it; 0 when it can.
    static std::uint32_t Replaceable(const File* old)
    {
        if (!old) return 0;
        if (old->node->attributes & (kAttributeReadOnly | kAttributeDirectory)) return kErrorAccessDenied;
        if (old->node->holder == Holder::Mapped) return kErrorUserMappedFile;
        if (old->node->holder != Holder::None || old->node->immutable) return kErrorAccessDenied;  // open or loaded
        return 0;
    }

    std::shared_ptr<Node> NewNode(const std::string& bytes, std::uint32_t attributes)
    {
        auto node = std::make_shared<Node>();
        node->bytes = bytes;
        node->attributes = attributes;
        node->id = nextId++;
        node->written = ++m_clock;
        return node;
    }
    void AddParents(const std::wstring& path)
    {
        for (auto at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
            if (!FileAt(path.substr(0, at))) files[Lower(path.substr(0, at))] = {path.substr(0, at), NewNode({}, kAttributeDirectory), false};
    }

    std::nullptr_t Fail(std::uint32_t& error, std::uint32_t code)
    {
        error = code;
        return nullptr;
    }
    std::uint32_t Move(const std::wstring& from, const std::wstring& to)
    {
        if (!Change()) return kErrorNotReady;
        File moved = files.at(Lower(from));
        files.erase(Lower(from));
        moved.path = to;
        files[Lower(to)] = moved;
        unflushed.insert(Lower(Folder(to)));
        return 0;
    }
    static std::wstring Folder(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

    class Search : public FileSearch {
    public:
        Search(std::vector<FoundFile> names, int failAfter) : m_names(std::move(names)), m_failAfter(failAfter) {}
        bool Next(FoundFile& file) override
        {
            if (m_failAfter >= 0 && int(m_next) >= m_failAfter && m_next < m_names.size()) m_error = kErrorNotReady;
            if (m_next >= m_names.size() || m_error) return false;
            file = m_names[m_next++];
            return true;
        }
        std::uint32_t Error() const override { return m_error; }

    private:
        std::vector<FoundFile> m_names;
        int m_failAfter;
        std::size_t m_next = 0;
        std::uint32_t m_error = 0;
    };

};

// The driver store: it publishes a package as a copy of its INF file in
// the Inf folder, oem<n>.inf (Wine: under the INF's own name where that is
// free), and knows a package by those bytes.
class FakeStore : public DriverStore, public FakePart {
public:
    FakeFiles* placedBy = nullptr;  // the files, whose copies put in place are counted at each registration
    std::map<std::wstring, std::uint32_t> storeErrors;  // the store refuses an INF
    std::vector<std::wstring> registered;               // INF files added to the store
    std::vector<std::size_t> placedWhenRegistered;       // copies put in place by then
    std::map<std::wstring, std::wstring> store;         // published name -> INF (lower case) it came from
    std::uint32_t removeError = 0;                      // the store refuses to take a package out
    std::map<std::wstring, std::uint32_t> removeErrors; // ... or one package
    std::function<void()> whileRegistering;             // another program's doing meanwhile
    bool copiesUnderItsName = false;                    // publishes under the INF's own name, as Wine does
    // Says it holds the package of an INF (by lower-case path) already,
    // under this name, whatever the name holds (Wine takes any copy of the
    // INF in Inf for one).
    std::map<std::wstring, std::wstring> claimsToHold;

    std::uint32_t Add(const std::wstring& inf, std::wstring& publishedName, bool& added) override
    {
        S().calls.push_back(L"register " + inf);
        if (whileRegistering) whileRegistering();
        if (placedBy && placedBy->S().wow64) return kErrorInWow64;
        if (const auto e = storeErrors.find(Lower(inf)); e != storeErrors.end()) return e->second;
        registered.push_back(inf);
        placedWhenRegistered.push_back(placedBy ? placedBy->placed.size() : 0);
        added = false;
        const auto claim = claimsToHold.find(Lower(inf));
        if (claim == claimsToHold.end()) return Publish(inf, publishedName, added);
        publishedName = claim->second;
        return 0;
    }

    std::uint32_t Remove(const std::wstring& publishedName) override
    {
        S().calls.push_back(L"unregister " + publishedName);
        if (placedBy && placedBy->S().wow64) return kErrorInWow64;
        if (removeError) return removeError;
        if (const auto e = removeErrors.find(publishedName); e != removeErrors.end()) return e->second;
        if (!store.erase(publishedName)) return kErrorFileNotFound;
        placedBy->files.erase(Lower(L"C:\\Windows\\Inf\\" + publishedName));
        return 0;
    }

protected:
    // Publishes the INF at path, or names the package of its bytes that is
    // there already.
    std::uint32_t Publish(const std::wstring& inf, std::wstring& publishedName, bool& added)
    {
        const std::string bytes = placedBy->BytesAt(inf);
        for (const auto& [name, from] : store)
            if (placedBy->BytesAt(L"C:\\Windows\\Inf\\" + name) == bytes) {
                publishedName = name;
                added = false;
                return 0;
            }
        publishedName = inf.substr(inf.find_last_of(L'\\') + 1);
        for (int n = 0; !copiesUnderItsName || placedBy->FileAt(L"C:\\Windows\\Inf\\" + publishedName); ++n) {
            publishedName = L"oem" + std::to_wstring(n) + L".inf";
            if (!placedBy->FileAt(L"C:\\Windows\\Inf\\" + publishedName)) break;
        }
        placedBy->AddFile(L"C:\\Windows\\Inf\\" + publishedName, bytes);
        store[publishedName] = Lower(inf);
        added = true;
        return 0;
    }
};

class FakeSystem : public System, public FakePart {
public:
    std::wstring programFolder = L"C:\\Package";
    std::wstring windowsFolder = L"C:\\Windows";
    bool windowsFolderFails = false;
    RunId run{0x1a2b, 0x1d9c0ffee};
    // The machine's install lock: held by another install for this many
    // looks (-1: until cancelled); lockLook runs at each.
    int lockBusyLooks = 0;
    std::uint32_t lockError = 0;
    std::function<void()> lockLook;

    // pnputil as Windows runs it for a 32-bit program.
    std::uint32_t runError = 0, runExitCode = 0;
    std::vector<std::wstring> programsRun;

    std::wstring ProgramFolder() const override { return programFolder; }
    std::optional<std::wstring> WindowsFolder() const override
    {
        if (windowsFolderFails) return std::nullopt;
        return windowsFolder;
    }
    RunId ThisRun() const override { return run; }
    // The system's message table: "error <code>", but for the codes given
    // here (an empty text: the system has none).
    std::map<std::uint32_t, std::wstring> messages;
    std::wstring ErrorText(std::uint32_t error) const override
    {
        const auto found = messages.find(error);
        return found != messages.end() ? found->second : L"error " + std::to_wstring(error);
    }
    std::unique_ptr<InstallLock> LockInstalls(const std::function<void()>& waiting,
                                              const std::function<bool()>& cancelled, std::uint32_t& error) override
    {
        S().calls.push_back(L"lock");
        error = lockError;
        if (lockError) return nullptr;
        if (lockBusyLooks != 0) waiting();
        // "Until cancelled" has a bound: a cancel that is never seen fails
        // the test instead of hanging it.
        for (int looks = 0; lockBusyLooks != 0; lockBusyLooks -= lockBusyLooks > 0) {
            if (lockLook) lockLook();
            if (cancelled()) return nullptr;
            if (++looks == 10000) {
                ADD_FAILURE() << "the install kept waiting for the lock: a cancel was never seen";
                error = 1460;  // ERROR_TIMEOUT
                return nullptr;
            }
        }
        S().lockHeld = true;
        return std::make_unique<Lock>(S());
    }

    std::uint32_t RunHidden(const std::wstring& program, const std::wstring& arguments, std::uint32_t& exitCode) override
    {
        programsRun.push_back(program + L" " + arguments);
        if (runError) return runError;
        exitCode = runExitCode;
        return 0;
    }


private:
    class Lock : public InstallLock {
    public:
        explicit Lock(FakeShared& fake) : m_fake(fake) {}
        ~Lock() override { m_fake.lockHeld = false; }

    private:
        FakeShared& m_fake;
    };

};

// The machine the install sees: the shared state, a fake of each
// interface, and the facts of its files.
struct FakeMachine : FakeShared, FakeFiles, FakeRestartQueue, FakeRedirection, FakeStore, FakeSystem, FileFacts {
    using FakeShared::Change;
    using FakeShared::Redirected;
    using FakeShared::kErrorNotReady;
    FakeMachine() { Attach(); }

    // pnputil as 64-bit Windows has it: -a "inf" publishes the package,
    // -d oem<n>.inf takes it out; pnputilPublishes false: it says it did,
    // but publishes nothing.
    bool pnputilPublishes = true;
    std::uint32_t RunHidden(const std::wstring& program, const std::wstring& arguments, std::uint32_t& exitCode) override
    {
        const std::uint32_t error = FakeSystem::RunHidden(program, arguments, exitCode);
        if (error || (exitCode != 0 && exitCode != 3010) || !pnputilPublishes) return error;
        std::wstring name;
        bool added = false;
        if (arguments.rfind(L"-a \"", 0) == 0) Publish(arguments.substr(4, arguments.size() - 5), name, added);
        if (arguments.rfind(L"-d ", 0) == 0 && store.erase(arguments.substr(3)))
            files.erase(Lower(L"C:\\Windows\\Inf\\" + arguments.substr(3)));
        return 0;
    }
    FakeMachine(const FakeMachine& other)
        : FakeShared(other), FakeFiles(other), FakeRestartQueue(other), FakeRedirection(other), FakeStore(other),
          FakeSystem(other), FileFacts(other)
    {
        Attach();
    }
    // Each part reaches this machine's state, not a copy's.
    void Attach()
    {
        for (FakePart* part : std::initializer_list<FakePart*>{static_cast<FakeFiles*>(this), static_cast<FakeRestartQueue*>(this),
                                                               static_cast<FakeRedirection*>(this), static_cast<FakeStore*>(this),
                                                               static_cast<FakeSystem*>(this)})
            part->Attach(*this);
        placedBy = this;
    }

    // ---- What the install reads in the files, on a clock of its own.
    std::map<std::wstring, std::wstring> versions;  // as FileVersion gives them, by lower-case path
    std::uint16_t kernelMachine = 0x8664;
    std::uint32_t clockMs = 0;  // time the install paused
    // Holders that let go of a file once the clock reaches a time, by
    // lower-case path.
    std::map<std::wstring, std::uint32_t> letGoAt;
    int prepared = 0;
    bool redirectionOffWhenPrepared = false;

    // A scanner holds each new journal without sharing for so many ms.
    std::uint32_t holdJournalFor = 0;
    std::uint32_t WriteJournal(const std::wstring& path, const std::wstring& text, bool append) override
    {
        const bool made = !FileAt(path);
        const std::uint32_t error = FakeFiles::WriteJournal(path, text, append);
        if (error == 0 && made && holdJournalFor) HoldFor(path, clockMs + holdJournalFor);
        return error;
    }
    void HoldFor(const std::wstring& path, std::uint32_t ms)
    {
        Hold(path, Holder::NoSharing);
        letGoAt[Lower(path)] = ms;
    }
    void Prepare() override
    {
        calls.push_back(L"prepare");
        ++prepared;
        redirectionOffWhenPrepared = redirectionOff;
    }
    std::uint32_t FileVersion(const std::wstring& path, bool, std::wstring& text) const override
    {
        calls.push_back(L"version " + path);
        text.clear();
        const File* file = FileAt(Redirected(path));
        if (file && file->node->holder == Holder::NoSharing) return kErrorSharingViolation;
        if (const auto found = versions.find(Lower(Redirected(path))); file && found != versions.end())
            text = found->second;
        return 0;
    }
    std::uint32_t ReadAt(const std::wstring& path, std::uint64_t offset, char* buffer, std::size_t size,
                         std::size_t& read) const override
    {
        calls.push_back(L"read " + path);
        read = 0;
        const File* file = FileAt(Redirected(path));
        if (!file) return kErrorFileNotFound;
        if (file->node->holder == Holder::NoSharing) return kErrorSharingViolation;
        if (offset < file->node->bytes.size()) read = file->node->bytes.copy(buffer, size, static_cast<std::size_t>(offset));
        return 0;
    }
    std::uint32_t ReadFile(const std::wstring& path, std::size_t limit, std::vector<char>& bytes) const override
    {
        calls.push_back(L"read whole " + path);
        const File* file = FileAt(Redirected(path));
        if (!file) return kErrorFileNotFound;
        if (file->node->holder == Holder::NoSharing) return kErrorSharingViolation;
        if (file->node->bytes.size() > limit) return kErrorFileTooLarge;
        bytes.assign(file->node->bytes.begin(), file->node->bytes.end());
        return 0;
    }
    // What each INF needs, by lower-case path, as the system's INF parser
    // reads it.
    std::map<std::wstring, std::vector<std::wstring>> infNeeds;
    std::vector<std::wstring> InfNeeds(const std::wstring& path, const std::wstring&) const override
    {
        const auto found = infNeeds.find(Lower(path));
        return found == infNeeds.end() ? std::vector<std::wstring>{} : found->second;
    }
    std::uint16_t KernelMachine() const override { return kernelMachine; }
    void Pause(std::uint32_t ms) override
    {
        clockMs += ms;
        for (const auto& [path, at] : letGoAt)
            if (at <= clockMs && files.count(path)) files.at(path).node->holder = Holder::None;
    }
};

// Everything the setup window asks of the system.
struct FakeSetup {
    FakeTexts texts;
    FakeMachine machine;
    Services Get() { return {texts, machine, machine, machine, machine, machine, machine}; }
};

}  // namespace setup::test
