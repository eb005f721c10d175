#include "check/DriverCheck.h"

#include <algorithm>
#include <map>
#include <set>

#include "check/Inf.h"
#include "install/DriverInstall.h"
#include "install/Versions.h"
#include "text/Ascii.h"
#include "text/Numbers.h"

namespace setup::check {
namespace {

using install::JoinPath;
using install::Processor;

constexpr std::size_t kMaxInfBytes = 16u << 20;
constexpr std::size_t kMaxFileBytes = std::size_t(1) << 30;  // a driver file read whole
constexpr int kMaxDepth = 8;                                  // of folders in Driver

std::wstring Lower(std::wstring text) { return LowerAscii(text); }

std::wstring MachineName(std::uint16_t machine)
{
    switch (machine) {
    case 0x014C: return L"x86";
    case 0x8664: return L"x64";
    case 0xAA64: return L"ARM64";
    default: return L"machine 0x" + Hex(machine, 4, true);
    }
}

std::wstring DigestName(DigestKind kind) { return kind == DigestKind::Sha1 ? L"SHA-1" : L"SHA-256"; }

// What one file of the package is asked: its processor and its digests,
// from one reading of it.
struct FileFacts {
    std::set<DigestKind> kinds;  // needed
    bool exists = false;
    std::uint32_t error = 0;  // of reading it
    bool image = false;       // a PE program image
    std::optional<std::uint16_t> machine;
    std::map<DigestKind, std::string> digests;
};

class DriverChecker {
public:
    DriverChecker(const std::wstring& package, const PackageFiles& files, const CodePages& codePages, DriverResult& result)
        : m_package(package), m_driver(JoinPath(package, L"Driver")), m_files(files), m_codePages(codePages),
          m_result(result)
    {
    }

    void Run()
    {
        if (!ListDriver()) return;
        if (m_infs.empty())
            Add(Severity::Error, L"Driver", 0,
                L"there is no INF file: Windows' driver store gets nothing, and no device ever uses the driver");
        for (const auto& inf : m_infs) CheckInf(inf);
        ReadFiles();
        Judge();
        std::sort(m_result.findings.begin(), m_result.findings.end(), [](const DriverFinding& a, const DriverFinding& b) {
            return a.file != b.file ? a.file < b.file : a.line < b.line;
        });
    }

private:
    struct InfUse {
        std::wstring inf;  // relative to Driver
        const Processor* processor;
        std::wstring catalog;  // relative to Driver; empty: none
    };

    // The Driver folder, to kMaxDepth folders deep: the INF files and .sys
    // files directly in it, the .sys files of each folder below.
    bool ListDriver()
    {
        std::vector<std::pair<std::wstring, int>> folders{{L"", 0}};
        for (std::size_t i = 0; i < folders.size(); ++i) {
            const auto [relative, depth] = folders[i];
            std::vector<PackageEntry> entries;
            if (const std::uint32_t error = m_files.List(Full(relative), entries); error != 0) {
                if (relative.empty() && !m_files.Exists(m_driver))
                    Add(Severity::Error, L"Driver", 0, L"the package has no Driver folder: Setup.exe has nothing to install");
                else
                    Add(Severity::Error, Shown(relative), 0, L"the folder cannot be listed: " + m_files.ErrorText(error));
                if (relative.empty()) return false;
                continue;
            }
            for (const auto& entry : entries) {
                const std::wstring path = relative.empty() ? entry.name : JoinPath(relative, entry.name);
                if (entry.folder) {
                    if (entry.name != L"." && entry.name != L".." && depth < kMaxDepth) folders.push_back({path, depth + 1});
                    if (depth == 0)
                        if (const Processor* p = install::ProcessorOfFolder(entry.name)) m_processorFolders[p] = entry.name;
                } else if (depth == 0 && install::HasExtension(entry.name, L"inf")) {
                    m_infs.push_back(entry.name);
                } else if (install::HasExtension(entry.name, L"sys")) {
                    m_sys.push_back(path);
                }
            }
        }
        return true;
    }

    void CheckInf(const std::wstring& name)
    {
        m_result.infs.push_back(name);
        const std::wstring shown = Shown(name);
        std::string bytes;
        if (const std::uint32_t error = m_files.Read(Full(name), kMaxInfBytes, bytes); error != 0)
            return Add(Severity::Error, shown, 0, L"cannot be read: " + m_files.ErrorText(error));
        m_result.bytesRead += bytes.size();
        const InfEncoding encoding = EncodingOf(bytes);
        std::wstring text;
        if (encoding != InfEncoding::Ansi) {
            text = DecodeUnicode(bytes, encoding);
        } else {
            text = m_codePages.Decode(m_codePages.AnsiCodePage(), bytes);
            const auto beyond = std::find_if(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
            if (beyond != bytes.end())
                Add(Severity::Warning, shown, 1 + static_cast<int>(std::count(bytes.begin(), beyond, '\n')),
                    L"bytes beyond ASCII, without a byte-order mark: each system reads them in its own code page "
                    L"(here " + Decimal(m_codePages.AnsiCodePage()) + L"); save the file as UTF-16 with its mark");
        }
        const InfFile inf(text);
        if (install::IsReservedInfName(name))
            Add(Severity::Error, shown, 0,
                L"is named as Windows names the packages of its driver store (oem and a number): Setup.exe refuses it");
        CheckVersion(inf, shown);

        // The processors it serves: its [Manufacturer] decorations, and the
        // folders of .sys files there are for one.
        std::vector<const Processor*> processors;
        const std::size_t manufacturer = inf.Section(L"Manufacturer");
        for (const auto& line : inf.Lines()) {
            if (line.section != manufacturer) continue;
            for (std::size_t i = 1; i < line.fields.size(); ++i) {
                const std::wstring& field = line.fields[i];
                if (field.size() < 3 || !EqualsIgnoringAsciiCase(std::wstring_view(field).substr(0, 2), L"NT")) continue;
                const std::wstring architecture = field.substr(2, field.find(L'.') - 2);
                for (const auto& p : install::kProcessors)
                    if (EqualsIgnoringAsciiCase(architecture, p.decoration)) Serve(processors, &p, true);
            }
        }
        for (const auto& [p, folder] : m_processorFolders) Serve(processors, p, false);
        if (processors.empty()) processors.push_back(nullptr);

        bool anyCatalog = false;
        for (const Processor* p : processors) {
            const InfNeeds needs = NeedsOf(inf, p);
            InfUse use{name, p, needs.catalog.path};
            anyCatalog = anyCatalog || !use.catalog.empty();
            if (!use.catalog.empty()) UseCatalog(use, needs.catalog, shown);
            for (const auto& need : needs.files) {
                if (!Exists(need.path)) {
                    AddOnce(Severity::Error, shown, need.line->number,
                            L"[" + need.section + L"] " + need.line->key + L": the package has no " + Shown(need.path));
                    continue;
                }
                if (!use.catalog.empty()) Hash(need.path, use.catalog);
                if (p && install::HasExtension(need.path, L"sys")) Image(need.path, p);
            }
            if (!use.catalog.empty()) Hash(name, use.catalog);
            if (!p) continue;
            // The .sys files Install takes for this processor.
            for (const auto& sys : m_sys) {
                const auto folder = FolderOf(sys);
                if (folder.empty() || (m_processorFolders.count(p) && EqualsIgnoringAsciiCase(folder, m_processorFolders[p])))
                    Image(sys, p);
            }
        }
        if (!anyCatalog)
            Add(Severity::Warning, shown, 0,
                L"[Version] names no catalog (CatalogFile): 64-bit Windows refuses an unsigned driver package");
        const std::size_t destinations = inf.Section(L"DestinationDirs");
        for (const auto& line : inf.Lines())
            if (line.section == destinations && !line.fields.empty() && line.fields[0] == L"13")
                Add(Severity::Note, shown, static_cast<int>(line.number),
                    L"[DestinationDirs] " + (line.key.empty() ? std::wstring(L"(default)") : line.key) +
                        L" = 13: the driver runs from the driver store, so the copy Setup.exe puts in "
                        L"System32\\Drivers is not the one Windows loads");
    }

    void CheckVersion(const InfFile& inf, const std::wstring& shown)
    {
        const std::size_t version = inf.Section(L"Version");
        if (version == inf.Sections().size())
            return Add(Severity::Error, shown, 0, L"has no [Version] section: Windows reads it as no INF file");
        const auto line = [&](const wchar_t* key) -> const InfFile::Line* {
            for (const auto& l : inf.Lines())
                if (l.section == version && EqualsIgnoringAsciiCase(l.key, key)) return &l;
            return nullptr;
        };
        if (!line(L"Signature")) Add(Severity::Error, shown, 0, L"[Version] has no Signature: Windows reads it as no INF file");
        if (!line(L"Class") && !line(L"ClassGuid")) Add(Severity::Error, shown, 0, L"[Version] has neither Class nor ClassGuid");
        if (!line(L"Provider")) Add(Severity::Error, shown, 0, L"[Version] has no Provider");
        const InfFile::Line* driverVer = line(L"DriverVer");
        if (!driverVer) return Add(Severity::Error, shown, 0, L"[Version] has no DriverVer: Plug and Play cannot rank the driver");
        std::wstring value;
        for (const auto& field : driverVer->fields) value += (value.empty() ? L"" : L",") + field;
        if (!install::ParseVersion(value, true))
            Add(Severity::Error, shown, static_cast<int>(driverVer->number),
                L"[Version] DriverVer \"" + value + L"\" is not a date (mm/dd/yyyy), then a version (w.x.y.z)");
    }

    void Serve(std::vector<const Processor*>& processors, const Processor* p, bool byInf)
    {
        if (std::find(processors.begin(), processors.end(), p) == processors.end()) processors.push_back(p);
        if (byInf) m_servedByInf.insert(p);
        if (std::find(m_result.processors.begin(), m_result.processors.end(), p->folders[0]) == m_result.processors.end())
            m_result.processors.push_back(p->folders[0]);
    }

    void UseCatalog(const InfUse& use, const InfNeeds::Need& need, const std::wstring& shown)
    {
        const std::wstring key = Lower(use.catalog);
        if (!Exists(use.catalog)) {
            AddOnce(Severity::Error, shown, need.line->number,
                    L"[Version] " + need.line->key + L": the package has no " + Shown(use.catalog) +
                        L", and Windows refuses the package without it");
            m_catalogs[key];  // read as missing: nothing to compare
            m_missing.insert(key);
            return;
        }
        if (m_catalogs.count(key)) return;
        Catalog& catalog = m_catalogs[key];
        if (const std::uint32_t error = m_files.ReadCatalog(Full(use.catalog), catalog); error != 0) {
            Add(Severity::Error, Shown(use.catalog), 0, L"is no catalog Windows can read: " + m_files.ErrorText(error));
            m_missing.insert(key);
            return;
        }
        if (!catalog.signature) {
            Add(Severity::Warning, Shown(use.catalog), 0,
                L"carries no signature: Windows refuses the package until the catalog is signed");
        } else if (use.processor && use.processor->machine != 0x014C) {
            Add(Severity::Note, Shown(use.catalog), 0,
                L"64-bit Windows 10 (1607) and later with Secure Boot load a kernel driver only with Microsoft's "
                L"signature; whether this one's signer is trusted cannot be known here, and a catalog signed "
                L"by the vendor alone is not enough there");
        }
    }

    // file is to match a member of catalog (both relative to Driver).
    void Hash(const std::wstring& file, const std::wstring& catalog)
    {
        const std::wstring key = Lower(catalog);
        if (m_missing.count(key)) return;
        if (std::find(m_hashes.begin(), m_hashes.end(), std::pair{Lower(file), key}) != m_hashes.end()) return;
        m_hashes.push_back({Lower(file), key});
        m_hashNames.push_back({file, catalog});
        for (const auto& member : m_catalogs[key].members) Facts(file).kinds.insert(member.kind);
    }

    void Image(const std::wstring& file, const Processor* p)
    {
        const auto use = std::pair{Lower(file), p};
        if (std::find(m_images.begin(), m_images.end(), use) != m_images.end()) return;
        m_images.push_back(use);
        m_imageNames.push_back({file, p});
        Facts(file);
    }

    // Each file is read once, for every digest and the processor it is
    // asked for.
    void ReadFiles()
    {
        for (auto& [key, facts] : m_facts) {
            std::string bytes;
            facts.error = m_files.Read(Full(m_names[key]), kMaxFileBytes, bytes);
            if (facts.error != 0) continue;
            m_result.bytesRead += bytes.size();
            if (const auto at = install::PeHeaderAt(bytes); at && *at < bytes.size())
                facts.machine = install::PeMachine(std::string_view(bytes).substr(*at));
            facts.image = facts.machine.has_value();
            for (const DigestKind kind : facts.kinds) {
                bool image = false;
                facts.digests[kind] = FileDigest(bytes, kind, image);
            }
        }
    }

    void Judge()
    {
        for (const auto& [file, p] : m_imageNames) {
            const FileFacts& facts = m_facts[Lower(file)];
            if (facts.error != 0) {
                AddOnce(Severity::Error, Shown(file), 0, L"cannot be read: " + m_files.ErrorText(facts.error));
            } else if (!facts.image) {
                AddOnce(Severity::Warning, Shown(file), 0, L"is no program image: no Windows loads it as a driver");
            } else if (*facts.machine != p->machine) {
                Add(Severity::Error, Shown(file), 0,
                    L"is a driver for " + MachineName(*facts.machine) + L", but serves " + MachineName(p->machine) +
                        L" here: it never loads there");
            }
        }
        for (const auto& [file, catalog] : m_hashNames) {
            const FileFacts& facts = m_facts[Lower(file)];
            if (facts.error != 0) {
                AddOnce(Severity::Error, Shown(file), 0, L"cannot be read: " + m_files.ErrorText(facts.error));
                continue;
            }
            const Catalog& c = m_catalogs[Lower(catalog)];
            bool matched = false, named = false, names = false;
            for (const auto& member : c.members) {
                const auto digest = facts.digests.find(member.kind);
                matched = matched || (digest != facts.digests.end() && digest->second == member.digest);
                named = named || EqualsIgnoringAsciiCase(member.file, NameOf(file));
                names = names || !member.file.empty();
            }
            if (matched) continue;
            std::wstring kinds;
            for (const auto& [kind, digest] : facts.digests)
                kinds += (kinds.empty() ? L"" : L", ") + DigestName(kind) + L" " + Widen(HexOf(digest));
            if (!named && names)
                Add(Severity::Warning, Shown(file), 0, L"is not among the files " + Shown(catalog) + L" covers");
            else
                Add(Severity::Error, Shown(file), 0,
                    L"does not match " + Shown(catalog) + L" (" + (kinds.empty() ? L"no digest" : kinds) +
                        L"): it changed after the catalog was made, and Windows refuses the package");
        }
        // .sys files Install never takes.
        for (const auto& sys : m_sys) {
            const std::wstring folder = FolderOf(sys);
            if (folder.empty()) continue;
            const Processor* p = install::ProcessorOfFolder(folder);
            if (!p || folder.find(L'\\') != std::wstring::npos)
                Add(Severity::Warning, Shown(sys), 0,
                    L"is in a folder Setup.exe does not install from (only Driver and its folders named for a "
                    L"processor: amd64, x64, x86, i386, arm64)");
            else if (!m_servedByInf.count(p) && !m_infs.empty())
                Add(Severity::Warning, Shown(sys), 0,
                    L"is for " + MachineName(p->machine) + L", which no INF file's [Manufacturer] serves");
        }
    }

    FileFacts& Facts(const std::wstring& file)
    {
        const std::wstring key = Lower(file);
        m_names.emplace(key, file);
        return m_facts[key];
    }
    bool Exists(const std::wstring& relative) const { return m_files.Exists(Full(relative)); }
    static std::wstring FolderOf(const std::wstring& relative)
    {
        const auto slash = relative.find_last_of(L'\\');
        return slash == std::wstring::npos ? std::wstring() : relative.substr(0, slash);
    }
    static std::wstring NameOf(const std::wstring& relative) { return relative.substr(relative.find_last_of(L'\\') + 1); }
    static std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
    std::wstring Full(const std::wstring& relative) const { return relative.empty() ? m_driver : JoinPath(m_driver, relative); }
    static std::wstring Shown(const std::wstring& relative) { return relative.empty() ? L"Driver" : L"Driver\\" + relative; }

    void Add(Severity severity, const std::wstring& file, std::size_t line, const std::wstring& text)
    {
        m_result.findings.push_back({severity, file, static_cast<int>(line), text});
    }
    // The same finding once, though more than one processor meets it.
    void AddOnce(Severity severity, const std::wstring& file, std::size_t line, const std::wstring& text)
    {
        for (const auto& f : m_result.findings)
            if (f.file == file && f.line == static_cast<int>(line) && f.text == text) return;
        Add(severity, file, line, text);
    }

    const std::wstring m_package, m_driver;
    const PackageFiles& m_files;
    const CodePages& m_codePages;
    DriverResult& m_result;
    std::vector<std::wstring> m_infs, m_sys;  // relative to Driver
    std::map<const Processor*, std::wstring> m_processorFolders;
    std::set<const Processor*> m_servedByInf;
    std::map<std::wstring, Catalog> m_catalogs;  // by lower-case path
    std::set<std::wstring> m_missing;            // catalogs with nothing to compare
    std::map<std::wstring, FileFacts> m_facts;   // by lower-case path
    std::map<std::wstring, std::wstring> m_names;
    std::vector<std::pair<std::wstring, std::wstring>> m_hashes, m_hashNames;  // file, catalog
    std::vector<std::pair<std::wstring, const Processor*>> m_images, m_imageNames;
};

}  // namespace

int DriverResult::Count(Severity severity) const
{
    return static_cast<int>(std::count_if(findings.begin(), findings.end(),
                                          [&](const DriverFinding& f) { return f.severity == severity; }));
}

DriverResult CheckDriverFolder(const std::wstring& packageFolder, const PackageFiles& files, const CodePages& codePages)
{
    DriverResult result;
    DriverChecker(packageFolder, files, codePages, result).Run();
    return result;
}

std::wstring FormatDriverReport(const DriverResult& result, bool withCount)
{
    std::wstring report = L"Driver: ";
    for (std::size_t i = 0; i < result.infs.size(); ++i) report += (i ? L", " : L"") + result.infs[i];
    if (result.infs.empty()) report += L"no INF file";
    report += L"; for ";
    for (std::size_t i = 0; i < result.processors.size(); ++i) report += (i ? L", " : L"") + result.processors[i];
    if (result.processors.empty()) report += L"no processor named";
    report += L"\n";
    for (const auto& f : result.findings)
        report += f.file + (f.line ? L":" + Decimal(static_cast<std::uint64_t>(f.line)) : L"") + L": " +
                  (f.severity == Severity::Error ? L"error" : f.severity == Severity::Warning ? L"warning" : L"note") +
                  L": " + f.text + L"\n";
    if (withCount) {
        const auto count = [&](Severity s, const wchar_t* one, const wchar_t* many) {
            const int n = result.Count(s);
            return Decimal(static_cast<std::uint64_t>(n)) + L" " + (n == 1 ? one : many);
        };
        report += count(Severity::Error, L"error", L"errors") + L", " + count(Severity::Warning, L"warning", L"warnings") +
                  L", " + count(Severity::Note, L"note", L"notes") + L"\n";
    }
    return report;
}

}  // namespace setup::check
