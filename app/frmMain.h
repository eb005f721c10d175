// The setup window: banner, prompt, Install and Cancel.
#pragma once

#include "platform/Platform.h"
#include "text/mduResoure.h"

namespace setup {

// The window's design: inner area 7950 x 4995 twips (530 x 333 pixels at
// 96 DPI) and its controls in tab order.
const FormDesign& frmMainDesign();

class frmMain final : public FormEvents {
public:
    frmMain(Services& services, Form& form) : m_services(services), m_form(form) {}

    void Form_Load() override { InitForm(); }
    void cmdNext_Click() override { InstallDriver(); }
    void cmdCancel_Click() override { QuitSetup(kExitOk); }

    const mduResoure::TextTable& Text() const { return m_text; }

private:
    void InitForm();
    void InstallDriver();
    void QuitSetup(int exitCode);

    Services& m_services;
    Form& m_form;
    mduResoure::TextTable m_text;
};

}  // namespace setup
