#pragma once

#include <cstdint>
#include <string>

namespace setup {

// value in decimal digits. (std::to_wstring would link the C library's
// whole wide printf into the program.)
inline std::wstring Decimal(std::uint64_t value)
{
    std::wstring digits;
    do {
        digits.insert(digits.begin(), static_cast<wchar_t>(L'0' + value % 10));
        value /= 10;
    } while (value > 0);
    return digits;
}

// value in lower-case hexadecimal digits, without leading zeros.
inline std::wstring Hex(std::uint64_t value)
{
    std::wstring digits;
    do {
        digits.insert(digits.begin(), L"0123456789abcdef"[value % 16]);
        value /= 16;
    } while (value > 0);
    return digits;
}

}  // namespace setup
