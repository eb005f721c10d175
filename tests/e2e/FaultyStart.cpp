// Setup.exe with a fault on request, for the end-to-end tests of the
// program's failure paths. The variable SETUP_FAULT, read by this test build
// only, names the fault:
//   load        memory runs out while Setup.Ini is read, before the window shows
//   install     memory runs out once Install is pressed
//   no-preload  the system DLLs are not loaded ahead, to show what that prevents
// Anything else, or nothing, runs the program as it ships.
#include <windows.h>

#include <new>
#include <string>

#include "app/Start.h"
#include "platform/WinProgram.h"
#include "platform/WinServices.h"

namespace {

std::wstring Fault()
{
    wchar_t value[64] = {};
    const DWORD n = GetEnvironmentVariableW(L"SETUP_FAULT", value, 64);
    return n > 0 && n < 64 ? value : L"";
}

class FaultyServices final : public setup::WinServices {
public:
    explicit FaultyServices(std::wstring fault) : m_fault(std::move(fault)) {}

    std::wstring ProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& def,
                               const std::wstring& file) const override
    {
        if (m_fault == L"load") throw std::bad_alloc();
        return WinServices::ProfileString(section, key, def, file);
    }
    std::optional<std::wstring> WindowsFolder() const override
    {
        if (m_fault == L"install") throw std::bad_alloc();
        return WinServices::WindowsFolder();
    }

private:
    std::wstring m_fault;
};

}  // namespace

int wmain()
{
    const std::wstring fault = Fault();
    setup::RestrictDllSearch();
    if (fault != L"no-preload") setup::PreloadSystemDlls();
    FaultyServices services(fault);
    return setup::RunSetup(services);
}
