// The program's start: the platform creates the setup window and runs it.
#include "app/frmMain.h"
#include "platform/WinProgram.h"

int wmain()
{
    return setup::RunProgram(setup::frmMainDesign(), [](setup::Services& services, setup::Form& form)
                                                         -> std::unique_ptr<setup::FormEvents> {
        return std::make_unique<setup::frmMain>(services, form);
    });
}
