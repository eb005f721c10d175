// The program's start on Windows: safe DLL loading, one copy per package,
// the form run from its design, and messages for a start that cannot go on.
#pragma once

#include <string>

#include "app/Form.h"
#include "platform/WinHandles.h"

namespace setup {

class WinProgram final : public Program {
public:
    // preload false: as a test build shows what the preloading prevents.
    explicit WinProgram(bool preload = true) : m_preload(preload) {}

    // One copy at a time for each program folder: a second start finds the
    // first one's window, marked with the folder's tag, and brings it to
    // the front.
    bool ClaimPackage(const std::wstring& programFolder) override;
    FormEnd RunForm(const FormDesign& design, const FormFactory& createForm, int& exitCode) override;
    void ShowFatalMessage(const std::wstring& text) override;

private:
    void ShowFirst() const;

    const bool m_preload;
    std::wstring m_tag;  // marks this package's window
    win::UniqueHandle m_mutex;
};

}  // namespace setup
