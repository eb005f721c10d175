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

}  // namespace setup
