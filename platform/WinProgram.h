// The program's start on Windows: hardens DLL loading, creates the form
// from its design, runs its load event, shows it and runs the message loop.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace setup {

// Takes the program folder and the current folder out of the DLL search.
// Runs first, before anything can load a DLL.
void RestrictDllSearch();
// Loads from System32, by full path, the DLLs that system DLLs load later by
// name (some through delay-loading, which does not follow the restricted
// search), so that those later loads find them already loaded.
void PreloadSystemDlls();

using FormFactory = std::unique_ptr<FormCallbacks> (*)(Services& services, Form& form);

struct FormRun {
    enum class Outcome { Ended, NoWindow, OutOfMemory };
    Outcome outcome = Outcome::Ended;
    int exitCode = 0;  // the code the form ended with
};

// Runs the form until it ends.
FormRun RunForm(const FormDesign& design, Services& services, FormFactory createForm);

// A message with an error icon, when there is no window to own it.
void ShowFatalMessage(const std::wstring& text);

}  // namespace setup
