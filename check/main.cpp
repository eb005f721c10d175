// SetupCheck.exe: checks a package as the systems that install it will see
// it: how each section of its Setup.Ini looks to the systems that read it,
// and its Driver folder as Windows takes it.
//
//   SetupCheck PACKAGE_FOLDER     checks Setup.Ini (if there is one) and Driver
//   SetupCheck PATH\TO\FILE.INI   checks that file alone
//
// Exit code: 0 when there is no error (there may be warnings and notes), 1
// when there is one, 2 when Setup.Ini could not be checked.
#include <new>

#include "platform/WinApi.h"
#include "platform/WinCodePages.h"
#include "platform/WinConsole.h"
#include "platform/WinTextWidth.h"
#include "text/Numbers.h"
#include "check/DriverCheck.h"
#include "check/SetupCheck.h"
#include "platform/WinPackageFiles.h"

namespace {

using namespace setup;

// No Setup.Ini is this large; the limit keeps the checker's memory small.
constexpr std::size_t kMaxFileBytes = 16u << 20;

constexpr wchar_t kUsage[] =
    L"Usage: SetupCheck PACKAGE_FOLDER | SETUP_INI\n"
    L"Checks a package folder: each section of its Setup.Ini as the systems that read it show it, and its\n"
    L"Driver folder as Windows takes it (INF files, catalogs, the files they cover, each processor's drivers).\n"
    L"Given an .ini file, checks that file alone.\n"
    L"Exit code: 0 no errors (warnings and notes may be shown), 1 errors, 2 Setup.Ini could not be checked.\n";

// Checks a Setup.Ini file; its errors and warnings go to the counts.
int CheckIni(const std::wstring& path, int& errors, int& warnings)
{
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);

    const WholeFile file = ReadWholeFile(path, kMaxFileBytes);
    switch (file.outcome) {
        case WholeFile::Outcome::Read:
            break;
        case WholeFile::Outcome::Missing:
            WriteError(L"SetupCheck: there is no " + path + L"\n");
            return 2;
        case WholeFile::Outcome::TooLarge:
            WriteError(L"SetupCheck: " + path + L" is " + Decimal(file.size) +
                       L" bytes; no Setup.Ini is that large (the checker reads up to " + Decimal(kMaxFileBytes) +
                       L")\n");
            return 2;
        case WholeFile::Outcome::Failed:
            WriteError(L"SetupCheck: " + path + L" cannot be read: " + win::ErrorText(file.error) + L"\n");
            return 2;
    }

    const WinCodePages codePages;
    const WinTextWidth widths;
    check::Result result = check::CheckSetupIni(file.bytes, codePages, &widths);
    // Where this system's profile reader reads a section as its own readers
    // do, it must show the same texts as the checker's reading.
    for (const auto& shown : result.sections) {
        if (!check::SystemReadsAlike(result, shown)) continue;
        const WinSectionReader reader(codePages, shown.langId, shown.codePage);
        check::CompareWithSystem(result, shown, mduResoure::LoadSetupText(reader, path));
    }
    WriteOut(L"Checking " + path + L"\n" + check::FormatReport(result, name));
    errors += result.Count(check::Severity::Error);
    warnings += result.Count(check::Severity::Warning);
    return result.ExitCode();
}

int Check(const std::wstring& argument)
{
    const std::wstring path = FullPath(argument);
    int errors = 0, warnings = 0;
    if (!IsFolder(path)) return CheckIni(path, errors, warnings);
    // A package: its Setup.Ini, when it has one, and its Driver folder.
    const std::wstring folder = path.back() == L'\\' ? path.substr(0, path.size() - 1) : path;
    int code = 0;
    if (const std::wstring ini = folder + L"\\Setup.Ini"; IsFile(ini)) {
        code = CheckIni(ini, errors, warnings);
    } else {
        WriteOut(L"Setup.Ini: warning: the package has none: every system shows Setup.exe's built-in English texts\n");
        ++warnings;
    }
    const WinPackageFiles files;
    const WinCodePages codePages;
    const check::DriverResult driver = check::CheckDriverFolder(folder, files, codePages);
    WriteOut(L"\nChecking " + folder + L"\\Driver\n" + check::FormatDriverReport(driver, false));
    errors += driver.Count(check::Severity::Error);
    warnings += driver.Count(check::Severity::Warning);
    const int notes = driver.Count(check::Severity::Note);
    WriteOut(L"\nPackage: " + Decimal(static_cast<std::uint64_t>(errors)) + (errors == 1 ? L" error, " : L" errors, ") +
             Decimal(static_cast<std::uint64_t>(warnings)) + (warnings == 1 ? L" warning, " : L" warnings, ") +
             Decimal(static_cast<std::uint64_t>(notes)) + (notes == 1 ? L" note\n" : L" notes\n"));
    return code == 2 ? 2 : errors ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    (void)win::RestrictDllSearch();  // the vendor's tool: unrestricted, it runs as any program does
    const std::wstring argument = argc == 2 ? argv[1] : L"";
    if (argument == L"/?" || argument == L"-h" || argument == L"--help") {
        WriteOut(kUsage);
        return 0;
    }
    if (argument.empty()) {
        WriteError(kUsage);
        return 2;
    }
    try {
        return Check(argument);
    } catch (const std::bad_alloc&) {
        WriteError(L"SetupCheck: out of memory\n");
        return 2;
    }
}
