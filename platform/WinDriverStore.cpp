// The driver store, on Win32: SetupAPI's, looked up at run time.
#include <windows.h>
#include <setupapi.h>

#include "platform/WinApi.h"
#include "platform/WinLate.h"
#include "platform/WinSystem.h"

namespace setup {

using win::LastError;
using win::Outcome;

std::uint32_t WinDriverStore::Add(const std::wstring& inf, std::wstring& publishedName, bool& added)
{
    const win::InstallFunctions& setupapi = win::InstallFunctionsLoaded();
    const auto copyOemInf = setupapi.setupCopyOemInf;
    if (!copyOemInf) return setupapi.setupapiError ? setupapi.setupapiError : ERROR_PROC_NOT_FOUND;
    // Not over a package the store holds already: then the call says so
    // and gives its name, and that package is not this run's to take out.
    wchar_t name[MAX_PATH] = {};
    wchar_t* component = nullptr;
    const BOOL ok = copyOemInf(inf.c_str(), nullptr, SPOST_PATH, SP_COPY_NOOVERWRITE, name, MAX_PATH, nullptr, &component);
    const std::uint32_t error = ok ? 0 : LastError();
    if (error != 0 && error != ERROR_FILE_EXISTS) return error;
    added = error == 0;
    publishedName = component ? component : name;
    return 0;
}

std::uint32_t WinDriverStore::Remove(const std::wstring& publishedName)
{
    const win::InstallFunctions& setupapi = win::InstallFunctionsLoaded();
    const auto uninstall = setupapi.setupUninstallOemInf;
    if (!uninstall) return setupapi.setupapiError ? setupapi.setupapiError : ERROR_PROC_NOT_FOUND;
    return Outcome(uninstall(publishedName.c_str(), 0, nullptr));
}

}  // namespace setup
