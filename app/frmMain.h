// The setup window: banner, prompt, Install and Cancel.
#pragma once

#include "install/DriverInstall.h"
#include "app/Form.h"
#include "app/Services.h"
#include "text/mduResoure.h"

namespace setup {

// The program's exit codes.
constexpr int kExitOk = 0;           // installed, or ended by Cancel or the close box
constexpr int kExitCopyFailed = 1;   // some files were not copied; the message named them
constexpr int kExitCannotStart = 2;  // the window could not be made, or memory ran out
constexpr int kExitRestart = 3010;   // installed; Windows finishes at restart (as Windows Installer says it)

// The window's controls, in the order of its design; Form is the window.
struct Control {
    enum : ControlId { Form = kFormId, img, lbl, cmdNext, cmdCancel, prgInstall };
};

// The window's design: inner area 7950 x 4995 twips (530 x 333 pixels at
// 96 DPI) and its controls in tab order.
const FormDesign& frmMainDesign();

// What the user is told when the install ends, and the exit code.
struct Outcome {
    std::wstring message;
    MessageIcon icon = MessageIcon::None;
    int exitCode = kExitOk;
};
// The failure lines a message shows before it sums up the rest.
constexpr std::size_t kMaxFailureLines = 20;
Outcome InstallOutcome(const install::Result& result, const mduResoure::TextTable& text, const System& system);
// The words for an error in a message: the system's, their inserts (%1)
// filled with insert, or "Error" and the code where it has none (in
// hexadecimal from 0x10000 on, as such codes are looked up).
std::wstring ErrorWords(const System& system, std::uint32_t error, const std::wstring& insert);

class frmMain final : public FormCallbacks {
public:
    frmMain(const Services& services, Form& form) : m_services(services), m_form(form) {}

    void Load() override { Form_Load(); }
    void Click(ControlId control) override
    {
        if (control == Control::cmdNext) cmdNext_Click();
        if (control == Control::cmdCancel) cmdCancel_Click();
    }

    void Form_Load() { InitForm(); }
    void cmdNext_Click() { InstallDriver(); }
    void cmdCancel_Click()
    {
        // Once the install has started, it runs to its end.
        if (!m_installing || m_gate.Cancel()) QuitSetup(kExitOk);
    }

    const mduResoure::TextTable& Text() const { return m_text; }

private:
    void InitForm();
    void InstallDriver();
    void OnWaiting();
    void OnStarted();
    void ShowOutcome();
    void QuitSetup(int exitCode);

    const Services m_services;
    Form& m_form;
    mduResoure::TextTable m_text;
    bool m_installing = false;
    install::StartGate m_gate;
    install::Result m_result;
};

}  // namespace setup
