// Numbers as the program writes them. (std::to_wstring would link the C
// library's whole wide printf into the program.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setup {

// value in decimal digits.
inline std::wstring Decimal(std::uint64_t value)
{
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + value % 10));
        value /= 10;
    } while (value > 0);
    return digits;
}

// value in hexadecimal digits, at least minDigits of them, in lower case or
// (upper) in capitals.
inline std::wstring Hex(std::uint64_t value, std::size_t minDigits = 1, bool upper = false)
{
    const wchar_t* const digits = upper ? L"0123456789ABCDEF" : L"0123456789abcdef";
    std::wstring text;
    do {
        text.insert(text.begin(), digits[value % 16]);
        value /= 16;
    } while (value > 0 || text.size() < minDigits);
    return text;
}

// The whole of text as a hexadecimal number of 1 to 16 digits, in either
// case; nullopt for anything else.
inline std::optional<std::uint64_t> ParseHex(std::wstring_view text)
{
    if (text.empty() || text.size() > 16) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        const wchar_t lower = c >= L'A' && c <= L'F' ? wchar_t(c - L'A' + L'a') : c;
        int digit = -1;
        if (lower >= L'0' && lower <= L'9') digit = lower - L'0';
        if (lower >= L'a' && lower <= L'f') digit = lower - L'a' + 10;
        if (digit < 0) return std::nullopt;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
    return value;
}

}  // namespace setup
