// The program's start on Windows: hardens DLL loading, creates the form
// from its design, runs its load event, shows it and runs the message loop.
#pragma once

#include <memory>
#include <string>

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

// Runs the form until it ends. tag marks its window for PackageInstance.
FormRun RunForm(const FormDesign& design, Services& services, FormFactory createForm, const std::wstring& tag);

// One copy of the program at a time for each program folder: a second
// start finds the first one's window and brings it to the front.
class PackageInstance {
public:
    explicit PackageInstance(const std::wstring& programFolder);
    ~PackageInstance();
    PackageInstance(const PackageInstance&) = delete;
    PackageInstance& operator=(const PackageInstance&) = delete;

    bool IsFirst() const { return m_first; }
    // The name that marks the first copy's window.
    const std::wstring& Tag() const { return m_tag; }
    // Brings the first copy's window, or the message it shows, to the front.
    void ShowFirst() const;

private:
    std::wstring m_tag;
    void* m_mutex = nullptr;
    bool m_first = true;
};

// A message with an error icon, when there is no window to own it.
void ShowFatalMessage(const std::wstring& text);

}  // namespace setup
