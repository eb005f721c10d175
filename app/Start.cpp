#include "app/Start.h"

#include "app/frmMain.h"

namespace setup {

int RunSetup(const Services& services, Program& program)
{
    // A double double-click shows the first copy instead of installing
    // beside it.
    if (!program.ClaimPackage(services.system.ProgramFolder())) return kExitOk;
    int exitCode = kExitOk;
    const auto createForm = [&services](Form& form) -> std::unique_ptr<FormCallbacks> {
        return std::make_unique<frmMain>(services, form);
    };
    switch (program.RunForm(frmMainDesign(), createForm, exitCode)) {
    case Program::FormEnd::Ended: return exitCode;
    case Program::FormEnd::NoWindow:
        program.ShowFatalMessage(L"Setup cannot start: Windows could not make its window.");
        break;
    case Program::FormEnd::OutOfMemory:
        program.ShowFatalMessage(L"Setup cannot continue: there is not enough memory.");
        break;
    case Program::FormEnd::Failed:
        program.ShowFatalMessage(L"Setup cannot continue: something unexpected went wrong.");
        break;
    }
    return kExitCannotStart;
}

}  // namespace setup
