// SetupCheck.exe: shows how each section of a package's Setup.Ini looks to
// the systems that read it, and what is wrong with it.
//
//   SetupCheck PACKAGE_FOLDER     checks PACKAGE_FOLDER\Setup.Ini
//   SetupCheck PATH\TO\FILE.INI   checks that file
//
// Exit code: 0 when there is no error (there may be warnings), 1 when there
// is one, 2 when the file could not be checked.
#include <new>

#include "platform/WinApi.h"
#include "platform/WinCodePages.h"
#include "platform/WinConsole.h"
#include "platform/WinTextWidth.h"
#include "text/Numbers.h"
#include "check/SetupCheck.h"

namespace {

using namespace setup;

// No Setup.Ini is this large; the limit keeps the checker's memory small.
constexpr std::size_t kMaxFileBytes = 16u << 20;

constexpr wchar_t kUsage[] =
    L"Usage: SetupCheck PACKAGE_FOLDER | SETUP_INI\n"
    L"Shows each section of Setup.Ini as the systems that read it show it, and what is wrong with it.\n"
    L"Exit code: 0 no errors (warnings may be shown), 1 errors, 2 the file could not be checked.\n";

int Check(const std::wstring& argument)
{
    std::wstring path = FullPath(argument);
    if (IsFolder(path)) path += (path.back() == L'\\' ? L"" : L"\\") + std::wstring(L"Setup.Ini");
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
    return result.ExitCode();
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
