// The program's start: DLL loading is made safe before anything else, then
// the setup window runs.
#include "app/Start.h"
#include "platform/WinProgram.h"
#include "platform/WinServices.h"

int wmain()
{
    setup::RestrictDllSearch();
    setup::PreloadSystemDlls();
    setup::WinServices services;
    return setup::RunSetup(services);
}
