// Text in the system's code pages, for the Setup.Ini checker.
//
// The checker reads each section of Setup.Ini as the systems that read it
// will: [804] in GBK, [404] in Big5, [Default] in the ANSI code page of the
// system it runs on. The Windows build implements this with the system's
// own conversions (platform/WinCodePages.cpp); the unit tests use a fake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace setup {

constexpr std::uint32_t kCodePageGbk = 936;
constexpr std::uint32_t kCodePageBig5 = 950;

class CodePages {
public:
    virtual ~CodePages() = default;

    // The system's ANSI code page.
    virtual std::uint32_t AnsiCodePage() const = 0;

    // The bytes as text, decoded as the system decodes a file in that code
    // page (a sequence that is not valid there becomes whatever the system
    // makes of it). firstInvalid, when given, receives the offset of the
    // first byte that starts an invalid sequence, or npos.
    virtual std::wstring Decode(std::uint32_t codePage, std::string_view bytes,
                                std::size_t* firstInvalid = nullptr) const = 0;

    // Bytes the text takes in the code page.
    virtual std::size_t EncodedSize(std::uint32_t codePage, std::wstring_view text) const = 0;
};

}  // namespace setup
