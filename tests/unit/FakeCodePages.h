// Code pages for the checker's unit tests: small stand-ins with the byte
// rules of the real ones.
//   936 (GBK): ASCII; 0x80 is the euro sign; lead 0x81-0xFE with a second
//     byte 0x40-0xFE except 0x7F. Leads 0xAA-0xAF are user-defined
//     characters (U+E000 up); other pairs are U+4E00 + (lead-0x81)*256 + second.
//   950 (Big5): ASCII; lead 0x81-0xFE with a second byte 0x40-0x7E or
//     0xA1-0xFE: U+3400 + (lead-0x81)*256 + second.
//   Any other: one byte is one character of the same number (Latin-1).
// An invalid byte decodes as '?' and takes one byte.
#pragma once

#include "check/CodePages.h"

namespace setup::test {

class FakeCodePages : public CodePages {
public:
    std::uint32_t ansiCodePage = 1252;

    std::uint32_t AnsiCodePage() const override { return ansiCodePage; }

    std::wstring Decode(std::uint32_t codePage, std::string_view bytes,
                        std::size_t* firstInvalid = nullptr) const override
    {
        std::wstring text;
        if (firstInvalid) *firstInvalid = std::wstring::npos;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const unsigned lead = static_cast<unsigned char>(bytes[i]);
            const unsigned second = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            if (lead < 0x80 || (codePage != 936 && codePage != 950)) {
                text += static_cast<wchar_t>(lead);
            } else if (codePage == 936 && lead == 0x80) {
                text += L'\x20AC';
            } else if (lead >= 0x81 && lead <= 0xFE && IsSecond(codePage, second)) {
                const unsigned pair = (lead - 0x81) << 8 | second;
                text += static_cast<wchar_t>(codePage == 950                ? 0x3400 + pair
                                             : lead >= 0xAA && lead <= 0xAF ? 0xE000 + ((lead - 0xAA) << 8 | second)
                                                                            : 0x4E00 + pair);
                ++i;
            } else {
                if (firstInvalid && *firstInvalid == std::wstring::npos) *firstInvalid = i;
                text += L'?';
            }
        }
        return text;
    }

    std::size_t EncodedSize(std::uint32_t codePage, std::wstring_view text) const override
    {
        std::size_t bytes = 0;
        for (wchar_t c : text) bytes += (codePage == 936 || codePage == 950) && c >= 0x80 ? 2 : 1;
        return bytes;
    }

private:
    static bool IsSecond(std::uint32_t codePage, unsigned b)
    {
        if (codePage == 936) return b >= 0x40 && b <= 0xFE && b != 0x7F;
        return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
    }
};

}  // namespace setup::test
