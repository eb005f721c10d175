#include "platform/WinCodePages.h"

#include <windows.h>

#include <algorithm>
#include <climits>

namespace setup {
namespace {

int Length(std::size_t size)
{
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

// The bytes of the character that starts with lead: two for a lead byte of
// a double-byte code page, the sequence's length in UTF-8, else one.
std::size_t CharacterBytes(std::uint32_t codePage, unsigned char lead)
{
    if (codePage == CP_UTF8) return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return ::IsDBCSLeadByteEx(codePage, lead) ? 2 : 1;
}

}  // namespace

std::uint32_t WinCodePages::AnsiCodePage() const
{
    return ::GetACP();
}

std::wstring WinCodePages::Decode(std::uint32_t codePage, std::string_view bytes, std::size_t* firstInvalid) const
{
    if (firstInvalid) *firstInvalid = std::string_view::npos;
    if (bytes.empty()) return {};
    const int size = Length(bytes.size());
    const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(std::max(n, 0)), L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, bytes.data(), size, text.data(), n);

    // Only when the whole is not valid: find the first character that is not.
    if (firstInvalid && ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0) == 0) {
        for (std::size_t at = 0; at < bytes.size();) {
            const std::size_t length =
                std::min(CharacterBytes(codePage, static_cast<unsigned char>(bytes[at])), bytes.size() - at);
            if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data() + at, Length(length), nullptr, 0) ==
                0) {
                *firstInvalid = at;
                break;
            }
            at += length;
        }
    }
    return text;
}

std::size_t WinCodePages::EncodedSize(std::uint32_t codePage, std::wstring_view text) const
{
    if (text.empty()) return 0;
    const int n = ::WideCharToMultiByte(codePage, 0, text.data(), Length(text.size()), nullptr, 0, nullptr, nullptr);
    return n > 0 ? static_cast<std::size_t>(n) : text.size();
}

}  // namespace setup
