// Numbers as the program writes them. (std::to_wstring would link the C
// library's whole wide printf into the program.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

}  // namespace setup
