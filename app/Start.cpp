#include "app/Start.h"

#include "app/frmMain.h"
#include "platform/WinProgram.h"

namespace setup {

int RunSetup(Services& services)
{
    // A second start of the same package (a double double-click) shows the
    // first one instead of installing beside it.
    const PackageInstance instance(services.ProgramFolder());
    if (!instance.IsFirst()) {
        instance.ShowFirst();
        return kExitOk;
    }
    const FormRun run = RunForm(
        frmMainDesign(), services,
        [](Services& s, Form& form) -> std::unique_ptr<FormCallbacks> { return std::make_unique<frmMain>(s, form); },
        instance.Tag());
    switch (run.outcome) {
    case FormRun::Outcome::Ended: return run.exitCode;
    case FormRun::Outcome::NoWindow: ShowFatalMessage(L"Setup cannot start: Windows could not make its window."); break;
    case FormRun::Outcome::OutOfMemory: ShowFatalMessage(L"Setup cannot continue: there is not enough memory."); break;
    }
    return kExitCannotStart;
}

}  // namespace setup
