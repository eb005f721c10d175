// Setup.exe's start: DLL loading is made safe before anything else, then
// the setup window runs.
#include "app/Start.h"
#include "platform/WinApi.h"
#include "platform/WinFileFacts.h"
#include "platform/WinProgram.h"
#include "platform/WinFileSystem.h"
#include "platform/WinSystem.h"
#include "platform/WinText.h"

int wmain()
{
    // Where the search cannot be restricted, the start loads the DLLs that
    // matter from System32 ahead (DllSearchRestricted tells it).
    (void)setup::win::RestrictDllSearch();
    setup::WinTextServices texts(true);
    setup::WinFileSystem files;
    setup::WinRestartQueue restart;
    setup::WinFolderRedirection redirection;
    setup::WinDriverStore store;
    setup::WinSystem system;
    setup::WinFileFacts facts;
    setup::WinProgram program;
    return setup::RunSetup({texts, files, restart, redirection, store, system, facts}, program);
}
