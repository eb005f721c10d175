#include "install/DriverInstall.h"

#include <memory>
#include <vector>
#include <utility>

#include "install/Journal.h"
#include "install/Processors.h"
#include "install/Recovery.h"
#include "install/Transaction.h"
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

class PackageInstall {
public:
    PackageInstall(Context& context, Result& result, const std::wstring& programFolder)
        : m_context(context), m_result(result), m_programFolder(programFolder), m_source(JoinPath(programFolder, L"Driver"))
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
                m_result.failures.push_back({file.name, JoinPath(m_context.windows, kPasses[0].destination), kErrorReservedName});
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
        if (!LookAtTargets()) return;
        Transaction transaction(m_context, m_result, std::move(m_items));
        if (!transaction.Begin()) return;
        // Registered from the package before the copies are in place: that
        // is where the driver store takes the package from. Nothing after
        // this can fail for a reason foreseen before it. A package the
        // store refuses is one Windows will not use: nothing goes in.
        for (const auto& inf : m_files[0]) {
            std::wstring published;
            bool added = false;
            if (const std::uint32_t error = RegisterDriverPackage(m_context, inf.source, published, added); error != 0) {
                m_result.refused.push_back({inf.name, kDriverStore, error, {}, Lacking(inf)});
                return transaction.Abandon();
            }
            if (added && !transaction.Added(published)) return;
        }
        transaction.Commit();
    }

private:
    // Refuses, before anything changes, a driver image for another
    // processor and a package with an older file than one installed, or one
    // that waits to replace it at the restart (the user was told it is
    // in). A version that cannot be read stops the install too: a newer
    // driver held by another program is no driver without a version.
    bool Check()
    {
        for (std::size_t p = 0; p < std::size(kPasses); ++p) {
            const std::wstring folder = JoinPath(m_context.windows, kPasses[p].destination);
            const bool inf = p == 0;
            // The package's files first; the installed ones, where the
            // package's has a version to compare, in their folder's scope.
            std::vector<std::optional<FoundVersion>> package;
            for (const auto& file : m_files[p])
                package.push_back(
                    CheckPackageFile(m_context, file.source, {file.name, folder, 0}, inf, p == kSysPass, m_result));
            FolderScope scope(m_context, folder);
            for (std::size_t i = 0; !scope.Error() && i < package.size(); ++i) {
                const std::wstring& name = m_files[p][i].name;
                if (!package[i]) continue;
                const auto pending = m_context.EarlierReplacements(JoinPath(folder, name), L"");
                if (!pending) {
                    m_result.unreadable.push_back({name, folder, kErrorRestartWorkUnreadable});
                    continue;
                }
                std::vector<std::wstring> installed = *pending;
                if (scope.Names().Attributes(name)) installed.push_back(JoinPath(folder, name));
                std::optional<FoundVersion> newest;
                for (const auto& path : installed) {
                    std::optional<FoundVersion> version;
                    if (const std::uint32_t error = ReadVersion(m_context, path, inf, version); error != 0)
                        m_result.unreadable.push_back({NameOf(path), folder, error});
                    if (version && (!newest || newest->rank < version->rank)) newest = version;
                }
                CompareWithInstalled(*package[i], newest, {name, folder, 0}, m_result);
            }
        }
        m_result.filesUnchanged =
            !m_result.failures.empty() || !m_result.newer.empty() || !m_result.unreadable.empty();
        return !m_result.filesUnchanged;
    }

    bool RefuseDriverFolder(std::uint32_t error)
    {
        // A file in the folder's place is not found as a folder.
        const auto attributes = m_context.files.Attributes(m_source);
        if (attributes && !(*attributes & kAttributeDirectory)) error = kErrorDirectory;
        m_result.failures.push_back({L"Driver", m_programFolder, error});
        return false;
    }

    // Adds the ordinary files of folder with the extension to files; one of
    // a name already there takes its place.
    bool ListFolder(const std::wstring& folder, const wchar_t* extension, std::vector<PackageFile>& files)
    {
        std::uint32_t error = 0;
        const auto search = m_context.files.FindFiles(JoinPath(folder, L"*.") + extension, error);
        if (error != 0) return RefuseDriverFolder(error);
        FoundFile file;
        // The wildcard also matches short 8.3 names (a.info is A~1.INF), so
        // the extension is checked again.
        while (search && search->Next(file)) {
            if (!IsOrdinaryFile(file.attributes) || !HasExtension(file.name, extension)) continue;
            PackageFile found{file.name, JoinPath(folder, file.name)};
            bool replaced = false;
            for (auto& known : files)
                if (!replaced && m_context.files.SamePath(known.name, file.name)) {
                    known = found;
                    replaced = true;
                }
            if (!replaced) files.push_back(std::move(found));
        }
        // A listing cut short (a USB stick pulled out) would leave part of
        // the package out.
        return !search || search->Error() == 0 || RefuseDriverFolder(search->Error());
    }

    // Real packages keep their .sys files in a folder per processor
    // (amd64, x86, ...): the one for this Windows' kernel is installed
    // beside Driver's own, its files taking the place of theirs; the
    // others are left alone. A package with such folders but none for this
    // processor, and no .sys file of its own, has no driver for this
    // Windows.
    bool ListProcessorFolder()
    {
        const Processor* kernel = ProcessorOfMachine(m_context.facts.KernelMachine());
        if (!kernel) return true;
        std::uint32_t error = 0;
        const auto search = m_context.files.FindFiles(JoinPath(m_source, L"*"), error);
        if (error != 0) return RefuseDriverFolder(error);
        std::vector<std::wstring> own;
        bool others = false;
        FoundFile entry;
        while (search && search->Next(entry)) {
            const Processor* processor = (entry.attributes & kAttributeDirectory) ? ProcessorOfFolder(entry.name) : nullptr;
            if (processor == kernel) own.push_back(entry.name);
            others = others || (processor && processor != kernel);
        }
        if (search && search->Error() != 0) return RefuseDriverFolder(search->Error());
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
        const Processor* processor = ProcessorOfMachine(m_context.facts.KernelMachine());
        std::wstring lacking;
        for (const auto& needed : m_context.facts.InfNeeds(inf.source, processor ? processor->decoration : L"")) {
            const std::wstring path = RelativePath(needed);
            if (!path.empty() && !m_context.Exists(JoinPath(FolderOf(inf.source), path)))
                lacking += (lacking.empty() ? L"" : L", ") + path;
        }
        return lacking;
    }

    // Copies every package file beside its target, in folders whose
    // leftovers are cleared first.
    void Stage()
    {
        for (std::size_t p = 0; p < std::size(kPasses); ++p) {
            const std::wstring folder = JoinPath(m_context.windows, kPasses[p].destination);
            const FolderScope scope(m_context, folder);
            // A folder that this Windows does not have (System\IoSubSys
            // exists only on old ones) means the pass does not apply here.
            if (!scope.Error()) {
                const auto attributes = m_context.files.Attributes(folder);
                if (!attributes || !(*attributes & kAttributeDirectory)) continue;
                Sweep(m_context, folder);
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
        item.source = file.source;
        item.folder = folder;
        item.target = JoinPath(folder, name);
        // A name that a killed copy with this process's id left and that
        // could not be removed is passed over.
        for (int attempt = 0; error == 0 && attempt < kNameAttempts; ++attempt) {
            item.counter = m_context.NewCounter();
            // A package file that another program holds for a moment is
            // waited for.
            const std::wstring& source = file.source;
            const std::wstring temporary = m_context.TemporaryPath(folder, item.counter, L"tmp");
            error = m_context.patience.Retry([&] {
                std::uint32_t staging = 0;
                item.staged = m_context.files.Stage(source, temporary, staging);
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
        const auto folderOf = [](const Item& item) -> const std::wstring& { return item.folder; };
        (void)EachInFolder(m_context, m_items.begin(), m_items.end(), folderOf, [&](Item& item, FolderScope& scope) {
            std::uint32_t error = scope.Error();
            const auto attributes = error ? std::nullopt : scope.Names().Attributes(item.name);
            item.existed = attributes.has_value();
            if (attributes && (*attributes & (kAttributeReadOnly | kAttributeHidden | kAttributeDirectory)))
                error = kErrorAccessDenied;
            // The old file as it is now, to be replaced only while it is.
            if (error == 0 && item.existed && !(item.seen = m_context.files.IdOf(item.target))) error = kErrorChangedMeanwhile;
            if (error != 0) m_result.failures.push_back({item.name, item.folder, error});
            return true;
        });
        if (m_result.failures.empty()) return true;
        m_items.clear();  // every copy is deleted
        m_result.filesUnchanged = true;
        return false;
    }

    Context& m_context;
    Result& m_result;
    const std::wstring m_programFolder;
    const std::wstring m_source;
    std::vector<std::vector<PackageFile>> m_files;  // the package's files, by pass
    std::vector<Item> m_items;
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

// A whole INF file, waiting for a program that holds it a moment.
std::uint32_t ReadInf(Context& c, const std::wstring& path, std::vector<char>& bytes)
{
    return c.patience.Retry([&] { return c.facts.ReadFile(path, kMaxInfBytes, bytes); });
}

// Whether the published INF file holds exactly the package's bytes.
bool Holds(Context& c, const std::wstring& publishedName, const std::vector<char>& bytes)
{
    std::vector<char> published;
    return ReadInf(c, JoinPath(JoinPath(c.windows, L"Inf"), NameOf(publishedName)), published) == 0 && published == bytes;
}

}  // namespace

std::uint32_t RegisterDriverPackage(Context& c, const std::wstring& inf, std::wstring& publishedName, bool& added)
{
    added = false;
    std::vector<char> bytes;
    if (const std::uint32_t error = ReadInf(c, inf, bytes); error != 0) return error;
    // A scanner holding the INF a moment is waited for, as with a copy.
    std::uint32_t error = c.patience.Retry([&] { return c.store.Add(inf, publishedName, added); });
    if (error == 0) {
        // "Already there" only when what the store gives back is this
        // package: Wine takes any copy of the INF in the Inf folder for one.
        return added || Holds(c, publishedName, bytes) ? 0 : kErrorFileExists;
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
            if (old == fresh || file.size != bytes.size() || !Holds(c, file.name, bytes)) continue;
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
    Context context(files, restart, redirection, store, system, facts);
    PackageInstall install(context, result, programFolder);
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
