// The program's start on Windows: hardens the DLL search, creates the form
// from its design, runs its load event, shows it and runs the message loop.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace setup {

using FormFactory = std::unique_ptr<FormEvents> (*)(Services& services, Form& form);

// Returns the program's exit code.
int RunProgram(const FormDesign& design, FormFactory createForm);

}  // namespace setup
