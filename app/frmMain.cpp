#include "app/frmMain.h"

#include <algorithm>
#include <cmath>

#include "install/DriverInstall.h"
#include "text/Numbers.h"

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
            // Under the prompt, left of the buttons; shown only while installing.
            {Control::prgInstall, ControlKind::Progress, {2655, 4560, 2460, 225}},
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

    m_text = mduResoure::LoadSetupText(m_services.texts, m_services.system.ProgramFolder() + L"\\Setup.Ini");

    m_form.SetText(Control::Form, m_text.strTitle);
    m_form.SetText(Control::lbl, m_text.strPrompt);
    m_form.SetText(Control::cmdNext, m_text.strSetup);
    m_form.SetText(Control::cmdCancel, m_text.strCancel);
}

void frmMain::InstallDriver()
{
    // Installing takes seconds where Windows checks the driver package, and
    // may first wait for another setup, so it runs beside the window, which
    // keeps answering. A second click before it ends does nothing.
    if (m_installing) return;
    m_installing = true;
    const std::wstring folder = m_services.system.ProgramFolder();
    install::Progress progress;
    progress.waiting = [this] { m_form.Post([this] { OnWaiting(); }); };
    progress.started = [this] { m_form.Post([this] { OnStarted(); }); };
    progress.gate = &m_gate;
    m_form.RunInBackground(
        [this, folder, progress] {
            m_result = install::InstallDriverFiles(m_services.files, m_services.restart, m_services.redirection,
                                                   m_services.store, m_services.system, m_services.facts,
                                                   folder, progress);
        },
        [this] { ShowOutcome(); });
}

// Another setup installs: nothing has changed yet, and Cancel may end this
// one.
void frmMain::OnWaiting()
{
    m_form.SetText(Control::lbl, L"\r\n" + m_text.strWaiting);
    m_form.AllowWhileBusy(Control::cmdCancel, true);
}

void frmMain::OnStarted()
{
    m_form.SetText(Control::lbl, m_text.strPrompt);
    m_form.AllowWhileBusy(Control::cmdCancel, false);
}

void frmMain::ShowOutcome()
{
    if (m_result.cancelled) return QuitSetup(kExitOk);
    const Outcome outcome = InstallOutcome(m_result, m_text, m_services.system);
    m_form.ShowMessage(outcome.message, outcome.icon);
    QuitSetup(outcome.exitCode);
}

namespace {

// heading, then a line per file: name (folder): reason, and for a driver
// package the files it lacks.
std::wstring FileLines(const std::wstring& heading, const std::vector<install::Failure>& failures,
                       const System& system)
{
    std::wstring lines = heading;
    const std::size_t shown = std::min(failures.size(), kMaxFailureLines);
    for (std::size_t i = 0; i < shown; ++i) {
        const install::Failure& f = failures[i];
        lines += L"\r\n" + f.name + L" (" + f.folder + L"): " +
                 (f.reason.empty() ? ErrorWords(system, f.error, f.name) : f.reason);
        if (!f.lacking.empty()) lines += L" " + f.lacking + L": " + ErrorWords(system, kErrorFileNotFound, f.lacking);
    }
    if (shown < failures.size()) lines += L"\r\nand " + Decimal(failures.size() - shown) + L" more";
    return lines;
}

}  // namespace

std::wstring ErrorWords(const System& system, std::uint32_t error, const std::wstring& insert)
{
    const std::wstring text = system.ErrorText(error);
    if (text.empty()) return L"Error " + (error >= 0x10000 ? L"0x" + Hex(error, 8, true) : Decimal(error)) + L".";
    // %1 to %99, with a format of their own (%1!s!) or none, are the
    // inserts; %% is a percent sign.
    std::wstring words;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = i + 1 < text.size() && text[i] == L'%' && text[i + 1] >= L'1' && text[i + 1] <= L'9';
        if (!digit) {
            words += text[i];
            if (text[i] == L'%' && i + 1 < text.size() && text[i + 1] == L'%') ++i;
            continue;
        }
        i += 2;
        if (i < text.size() && text[i] >= L'0' && text[i] <= L'9') ++i;
        if (i < text.size() && text[i] == L'!') {
            const auto end = text.find(L'!', i + 1);
            if (end != std::wstring::npos) i = end + 1;
        }
        words += insert;
        --i;
    }
    return words;
}

Outcome InstallOutcome(const install::Result& result, const mduResoure::TextTable& text, const System& system)
{
    const std::wstring restart = result.restartNeeded ? L"\r\n" + text.strRestart : L"";
    if (result.failures.empty() && result.refused.empty() && result.notRestored.empty() && result.newer.empty() &&
        result.unreadable.empty())
        return {text.strComplete + restart, MessageIcon::None, result.restartNeeded ? kExitRestart : kExitOk};
    std::wstring message;
    const auto add = [&](const std::wstring& heading, const std::vector<install::Failure>& failures) {
        if (!failures.empty()) message += (message.empty() ? L"" : L"\r\n") + FileLines(heading, failures, system);
    };
    add(text.strFailed, result.failures);
    add(text.strUnreadable, result.unreadable);
    add(text.strRefused, result.refused);
    add(text.strNewer, result.newer);
    add(text.strNotRestored, result.notRestored);
    if (result.filesUnchanged) message += L"\r\n" + text.strNothingChanged;
    return {message + restart, MessageIcon::Warning, kExitCopyFailed};
}

void frmMain::QuitSetup(int exitCode) { m_form.End(exitCode); }

}  // namespace setup
