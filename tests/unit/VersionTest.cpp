// Which file wins: versions of driver images and INF files, the processor
// a driver image is built for, and the install's patience with files that
// another program holds for a moment.
#include <gtest/gtest.h>

#include "FakeMachine.h"
#include "install/DriverInstall.h"
#include "install/Versions.h"

namespace setup {
namespace {

using install::DriverVersion;
using install::InstallDriverFiles;
using install::Result;
using test::FakeMachine;
using Holder = test::FakeFiles::Holder;
using test::Lower;

const std::wstring kInf = L"C:\\Windows\\Inf";
const std::wstring kIoSubSys = L"C:\\Windows\\System\\IoSubSys";
const std::wstring kDrivers = L"C:\\Windows\\System32\\Drivers";
const std::wstring kPackage = L"C:\\Package\\Driver";

constexpr std::uint64_t V(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d)
{
    return a << 48 | b << 32 | c << 16 | d;
}

TEST(Versions, FileVersionsAndDriverVerRankByDateThenVersion)
{
    struct Case {
        const wchar_t* text;
        bool inf;
        std::optional<DriverVersion> expected;
    };
    const Case cases[] = {
        {L"2.0.0.5", false, DriverVersion{0, V(2, 0, 0, 5)}},
        {L"65535.0.1", false, DriverVersion{0, V(65535, 0, 1, 0)}},
        {L"12/07/2026,1.2.3.4", true, DriverVersion{20261207, V(1, 2, 3, 4)}},
        {L"1/2/2025", true, DriverVersion{20250102, 0}},
        {L"01-02-2025,2.0", true, DriverVersion{20250102, V(2, 0, 0, 0)}},
        {L"10/01/1000,1.0", true, DriverVersion{10001001, V(1, 0, 0, 0)}},
        {L"12/31/9999", true, DriverVersion{99991231, 0}},
        {L"1.2.3.4", true, std::nullopt},
        {L"12/07/2026", false, std::nullopt},
        {L"2026-12-07,1.0", true, std::nullopt},
        {L"13/01/2026,1.0", true, std::nullopt},
        {L"01/32/2026,1.0", true, std::nullopt},
        {L"00/01/2026,1.0", true, std::nullopt},
        {L"01/01/10000,1.0", true, std::nullopt},
        {L"01/01/26,1.0", true, std::nullopt},
        {L"01/01/2026,1.65536", true, std::nullopt},
        {L"01/01/2026,1.2.3.4.5", true, std::nullopt},
        {L"1.2.3.4.5", false, std::nullopt},
        {L"01/01/2026,", true, std::nullopt},
        {L"1.0 beta", false, std::nullopt},
        {L"", false, std::nullopt},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const auto read = install::ParseVersion(cases[row].text, cases[row].inf);
        ASSERT_EQ(read.has_value(), cases[row].expected.has_value()) << "row " << row;
        if (!read) continue;
        EXPECT_EQ(read->date, cases[row].expected->date) << "row " << row;
        EXPECT_EQ(read->version, cases[row].expected->version) << "row " << row;
    }
    EXPECT_TRUE((DriverVersion{20250101, V(9, 0, 0, 0)} < DriverVersion{20250102, V(1, 0, 0, 0)}));
    EXPECT_TRUE((DriverVersion{20250101, V(1, 0, 0, 0)} < DriverVersion{20250101, V(1, 0, 0, 1)}));
    EXPECT_FALSE((DriverVersion{20250101, V(1, 0, 0, 1)} < DriverVersion{20250101, V(1, 0, 0, 1)}));
}

// The first bytes of a PE image for a machine.
std::string Image(std::uint16_t machine, std::uint32_t at = 0x80)
{
    std::string bytes(at + 24, '\0');
    bytes[0] = 'M', bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) bytes[0x3C + std::size_t(i)] = char(at >> (8 * i) & 0xFF);
    bytes.replace(at, 4, std::string("PE\0\0", 4));
    bytes[at + 4] = char(machine & 0xFF), bytes[at + 5] = char(machine >> 8);
    return bytes;
}

FakeMachine Machine()
{
    FakeMachine s;
    s.AddFolder(kPackage);
    for (const auto& folder : {kInf, kIoSubSys, kDrivers}) s.AddFolder(folder);
    return s;
}

Result Install(FakeMachine& s) { return InstallDriverFiles(s, s, s, s, s, s, L"C:\\Package"); }

std::map<std::wstring, std::string> Snapshot(const FakeMachine& s)
{
    std::map<std::wstring, std::string> bytes;
    for (const auto& [key, file] : s.files) bytes[key] = file.node->bytes;
    return bytes;
}

// An installed file newer than the package's keeps the whole package out;
// equal, older or unversioned ones are replaced.
TEST(Versions, AnInstalledFileNewerThanThePackagesRefusesThePackage)
{
    struct Case {
        const char* name;
        std::wstring file;
        std::wstring installed, package;  // versions as the system gives them; empty: none
        bool refused;
        enum { Installed, WaitsForRestart, RestartWorkUnreadable } where = Installed;  // of the installed version
        std::wstring older = {};  // an older one at the other place (where: Installed, a copy waits for the restart)
    };
    const Case cases[] = {
        {"sys newer", L"d.sys", L"2.0.0.5", L"1.0.0.0", true},
        {"sys equal", L"d.sys", L"2.0.0.5", L"2.0.0.5", false},
        {"sys older", L"d.sys", L"1.0.0.0", L"1.0.0.1", false},
        {"sys unversioned installed", L"d.sys", L"", L"1.0.0.0", false},
        {"sys unversioned package", L"d.sys", L"1.0.0.0", L"", false},
        {"pdr newer", L"d.pdr", L"1.0.0.1", L"1.0.0.0", true},
        {"inf newer date", L"d.inf", L"12/08/2026,1.0", L"12/07/2026,9.0", true},
        {"inf same date, newer version", L"d.inf", L"12/07/2026,1.1", L"12/07/2026,1.0", true},
        {"inf older date, higher version", L"d.inf", L"12/06/2026,9.0", L"12/07/2026,1.0", false},
        {"inf without DriverVer", L"d.inf", L"", L"12/07/2026,1.0", false},
        {"sys newer, waiting for the restart", L"d.sys", L"2.0.0.5", L"1.0.0.0", true, Case::WaitsForRestart},
        {"sys older, waiting for the restart", L"d.sys", L"1.0.0.0", L"1.0.0.1", false, Case::WaitsForRestart},
        {"sys, the restart work unreadable", L"d.sys", L"1.0.0.0", L"1.0.0.1", true, Case::RestartWorkUnreadable},
        {"sys newer waiting, an older one installed", L"d.sys", L"2.0.0.5", L"1.0.0.0", true, Case::WaitsForRestart, L"0.1"},
        {"sys newer installed, an older one waiting", L"d.sys", L"2.0.0.5", L"1.0.0.0", true, Case::Installed, L"0.1"},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        const std::wstring folder = c.file.back() == L'f' ? kInf : c.file.back() == L'r' ? kIoSubSys : kDrivers;
        const std::wstring installed = folder + L"\\" + c.file, package = kPackage + L"\\" + c.file;
        // A driver image starts as every program image does.
        const std::string bytes = folder == kInf ? "new" : "MZ new";
        s.AddFile(package, bytes);
        s.AddFile(kPackage + L"\\other.inf", "other");
        s.AddFile(installed, "old");
        s.versions[Lower(installed)] = c.where == Case::Installed ? c.installed : c.older;
        s.versions[Lower(package)] = c.package;
        // An earlier install's copy, to replace it at the restart.
        const std::wstring waiting = folder + L"\\~setup-63-1.new";
        if (c.where != Case::Installed || !c.older.empty()) {
            s.AddFile(waiting, "waiting");
            s.versions[Lower(waiting)] = c.where == Case::Installed ? c.older : c.installed;
            s.atRestart.push_back({waiting, installed});
        }
        s.pendingUnreadable = c.where == Case::RestartWorkUnreadable;
        const auto before = Snapshot(s);

        const Result result = Install(s);
        if (c.where == Case::RestartWorkUnreadable) {
            ASSERT_EQ(result.unreadable.size(), 1u) << c.name;
            EXPECT_EQ(result.unreadable[0].error, kErrorRestartWorkUnreadable) << c.name;
            EXPECT_EQ(Snapshot(s), before) << c.name;
            continue;
        }

        if (!c.refused) {
            EXPECT_TRUE(result.newer.empty() && result.failures.empty()) << c.name;
            EXPECT_EQ(s.BytesAt(installed), bytes) << c.name;
            continue;
        }
        ASSERT_EQ(result.newer.size(), 1u) << c.name;
        EXPECT_EQ(result.newer[0].name, c.file) << c.name;
        EXPECT_EQ(result.newer[0].folder, folder) << c.name;
        EXPECT_EQ(result.newer[0].reason, c.installed + L"; " + c.package) << c.name;
        EXPECT_TRUE(result.filesUnchanged) << c.name;
        EXPECT_EQ(Snapshot(s), before) << c.name << ": every file stays, none is added";
        EXPECT_TRUE(s.store.empty()) << c.name;
    }
}

TEST(Versions, ADriverImageForAnotherProcessorIsRefused)
{
    struct Case {
        const char* name;
        std::uint16_t kernel;
        std::string sys;
        bool refused;
    };
    const Case cases[] = {
        {"x86 on x64", 0x8664, Image(0x14c), true},
        {"x64 on ARM64", 0xAA64, Image(0x8664), true},
        {"x64 on x64", 0x8664, Image(0x8664), false},
        {"not a program image", 0x8664, "driver bytes", false},
        {"PE header past the end", 0x8664, Image(0x14c).substr(0, 0x60), false},
        {"no program image, though a PE header follows", 0x8664, "XZ" + Image(0x14c).substr(2), false},
        {"no PE header where the DOS header says", 0x8664, Image(0x14c).replace(0x80, 2, "NE"), false},
        {"x86, its PE header past the first kilobyte", 0x8664, Image(0x14c, 0x1000), true},
        {"kernel unknown", 0, Image(0x14c), false},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        s.kernelMachine = c.kernel;
        s.AddFile(kPackage + L"\\d.sys", c.sys);
        s.AddFile(kPackage + L"\\d.inf", "inf");
        s.AddFile(kDrivers + L"\\d.sys", "working driver");
        const auto before = Snapshot(s);

        const Result result = Install(s);

        if (!c.refused) {
            EXPECT_TRUE(result.failures.empty()) << c.name;
            EXPECT_EQ(s.BytesAt(kDrivers + L"\\d.sys"), c.sys) << c.name;
            continue;
        }
        ASSERT_EQ(result.failures.size(), 1u) << c.name;
        EXPECT_EQ(result.failures[0].name, L"d.sys") << c.name;
        EXPECT_EQ(result.failures[0].folder, kDrivers) << c.name;
        EXPECT_EQ(result.failures[0].error, kErrorMachineMismatch) << c.name;
        EXPECT_TRUE(result.filesUnchanged) << c.name;
        EXPECT_EQ(Snapshot(s), before) << c.name;
        EXPECT_TRUE(s.store.empty()) << c.name;
    }
}

// The 32-bit program reads the real System32\Drivers, and loads what it
// reads with before it turns the redirection off.
TEST(Versions, A32BitProgramComparesWithTheRealSystem32)
{
    FakeMachine s = Machine();
    s.wow64 = true;
    s.AddFolder(L"C:\\Windows\\SysWOW64\\Drivers");
    s.AddFile(kPackage + L"\\d.sys", "MZ new");
    s.AddFile(kDrivers + L"\\d.sys", "installed");
    s.AddFile(L"C:\\Windows\\SysWOW64\\Drivers\\d.sys", "32-bit folder's");
    s.versions[Lower(kPackage + L"\\d.sys")] = L"2.0.0.0";
    s.versions[Lower(kDrivers + L"\\d.sys")] = L"3.0.0.0";
    s.versions[Lower(L"C:\\Windows\\SysWOW64\\Drivers\\d.sys")] = L"1.0.0.0";

    const Result result = Install(s);

    ASSERT_EQ(result.newer.size(), 1u);
    EXPECT_EQ(result.newer[0].reason, L"3.0.0.0; 2.0.0.0");
    EXPECT_EQ(s.prepared, 1);
    ASSERT_FALSE(s.calls.empty());
    EXPECT_EQ(s.calls[0], L"prepare") << "before any redirection";
    EXPECT_FALSE(s.redirectionOff);
}

// A file held for a moment is waited for; the wait is bounded for the
// whole install, and a loaded driver costs none.
TEST(Versions, AMomentsLockCostsNeitherARestartNorAFailure)
{
    struct Case {
        const char* name;
        std::vector<std::wstring> held;  // files held without sharing
        std::uint32_t heldMs;            // until then (-1: for good)
        Holder installedHolder;          // of every installed file
        bool restart;
        std::uint32_t failure;           // of the first package file
        std::uint32_t waitedMs;
    };
    const std::uint32_t forever = std::uint32_t(-1);
    const std::wstring target = kDrivers + L"\\a.sys", other = kDrivers + L"\\b.sys", source = kPackage + L"\\a.sys";
    const Case cases[] = {
        {"target for 1.5 s", {target}, 1500, Holder::None, false, 0, 1500},
        {"target for 2.9 s", {target}, 2900, Holder::None, false, 0, 2900},
        {"target for good", {target}, forever, Holder::None, true, 0, 5000},
        {"two targets for good: one wait", {target, other}, forever, Holder::None, true, 0, 5000},
        {"package file for 1.5 s", {source}, 1500, Holder::None, false, 0, 1500},
        {"package file for good", {source}, forever, Holder::None, false, kErrorSharingViolation, 5000},
        {"loaded drivers", {}, 0, Holder::Loaded, true, 0, 0},
        {"the journal for 0.3 s, by a scanner", {L"journal"}, 300, Holder::None, false, 0, 300},
    };
    for (const auto& c : cases) {
        FakeMachine s = Machine();
        s.AddFile(source, "new a");
        s.AddFile(kPackage + L"\\b.sys", "new b");
        s.AddFile(target, "old a");
        s.AddFile(other, "old b");
        s.Hold(target, c.installedHolder);
        s.Hold(other, c.installedHolder);
        for (const auto& path : c.held) {
            if (path == L"journal") s.holdJournalFor = c.heldMs;
            else s.HoldFor(path, c.heldMs);
        }

        const Result result = Install(s);

        EXPECT_EQ(s.clockMs, c.waitedMs) << c.name;
        EXPECT_EQ(result.restartNeeded, c.restart) << c.name;
        if (c.failure) {
            ASSERT_EQ(result.unreadable.size(), 1u) << c.name;  // its start, to tell whether it is an image
            EXPECT_EQ(result.unreadable[0].error, c.failure) << c.name;
            EXPECT_TRUE(result.filesUnchanged) << c.name;
            continue;
        }
        EXPECT_TRUE(result.failures.empty()) << c.name;
        if (!c.restart) {
            EXPECT_EQ(s.BytesAt(target), "new a") << c.name;
        }
        EXPECT_TRUE(s.atRestart.empty() != c.restart) << c.name;
    }
}

}  // namespace
}  // namespace setup
