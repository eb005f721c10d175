#include "app/frmMain.h"

#include <cmath>

#include "install/DriverInstall.h"

namespace setup {

const FormDesign& frmMainDesign()
{
    // The banner is its 163 x 284 picture plus a border of 2 pixels a side.
    static const FormDesign design{
        7950, 4995,
        {
            {Control::img, ControlKind::Picture, {0, 0, 2505, 4320}},
            {Control::lbl, ControlKind::Label, {2475, 0, 5370, 4245}},
            {Control::cmdNext, ControlKind::DefaultButton, {5265, 4500, 1095, 330}},
            {Control::cmdCancel, ControlKind::CancelButton, {6750, 4500, 1095, 330}},
        }};
    return design;
}

void frmMain::InitForm()
{
    // The prompt starts at the banner's right edge, fills the rest of the
    // width and is exactly as tall as the banner. Computed once.
    const Twips banner = m_form.Geometry(Control::img);
    const double h = std::nearbyint(banner.height);  // halves round to even
    const double w = std::nearbyint(banner.width);
    m_form.Move(Control::img, {0, 0, banner.width, banner.height});
    const double sw = m_form.ScaleWidth();
    m_form.Move(Control::lbl, {w, 0, sw - w, h});

    m_text = mduResoure::LoadSetupText(m_services, m_services.ProgramFolder() + L"\\Setup.Ini");

    m_form.SetText(Control::Form, m_text.strTitle);
    m_form.SetText(Control::lbl, m_text.strPrompt);
    m_form.SetText(Control::cmdNext, m_text.strSetup);
    m_form.SetText(Control::cmdCancel, m_text.strCancel);
}

void frmMain::InstallDriver()
{
    // Runs on the window's thread: the window does not answer until the
    // copies are done and the message is closed.
    const install::Result result = install::CopyDriverFiles(m_services, m_services.ProgramFolder());
    if (result.failures.empty()) {
        m_form.ShowMessage(m_text.strComplete, MessageIcon::None);
        QuitSetup(kExitOk);
    } else {
        m_form.ShowMessage(install::FailureMessage(m_services, m_text.strFailed, result.failures),
                           MessageIcon::Warning);
        QuitSetup(kExitCopyFailed);
    }
}

void frmMain::QuitSetup(int exitCode) { m_form.End(exitCode); }

}  // namespace setup
