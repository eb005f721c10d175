// Code pages and profile reads on Win32, for the Setup.Ini checker.
#pragma once

#include "check/CodePages.h"
#include "platform/WinText.h"

namespace setup {

// The system's own conversions: MultiByteToWideChar as the profile reader
// decodes a file, WideCharToMultiByte for sizes.
class WinCodePages final : public CodePages {
public:
    std::uint32_t AnsiCodePage() const override;
    std::wstring Decode(std::uint32_t codePage, std::string_view bytes,
                        std::size_t* firstInvalid = nullptr) const override;
    std::size_t EncodedSize(std::uint32_t codePage, std::wstring_view text) const override;
};

// This system's profile reader, as the program uses it, for a system of
// another language: the section is chosen by langId and values are
// measured in codePage.
class WinSectionReader final : public WinTextServices {
public:
    WinSectionReader(const CodePages& codePages, std::uint16_t langId, std::uint32_t codePage)
        : m_codePages(codePages), m_langId(langId), m_codePage(codePage)
    {
    }
    std::uint16_t SystemDefaultLangId() const override { return m_langId; }
    std::size_t AnsiSize(std::wstring_view text) const override { return m_codePages.EncodedSize(m_codePage, text); }

private:
    const CodePages& m_codePages;
    std::uint16_t m_langId;
    std::uint32_t m_codePage;
};

}  // namespace setup
