// The program's run, from the setup window to its exit code.
#pragma once

#include "app/Form.h"
#include "app/Services.h"

namespace setup {

// Shows the setup window and runs it until it ends; a window that cannot be
// made and memory that runs out are told in plain words. A second start of
// the same package brings the first one to the front instead. Returns the
// exit code.
int RunSetup(const Services& services, Program& program);

}  // namespace setup
