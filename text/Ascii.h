// Letter case and digits as names and keys compare them: the ASCII letters
// only, as Windows compares the names this program chooses and the keys of
// an INI file.
#pragma once

#include <string>
#include <string_view>

namespace setup {

inline wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; }

inline std::wstring LowerAscii(std::wstring_view text)
{
    std::wstring lower(text);
    for (auto& c : lower) c = LowerAscii(c);
    return lower;
}

inline bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

inline bool IsHexDigit(wchar_t c) { return (c >= L'0' && c <= L'9') || (LowerAscii(c) >= L'a' && LowerAscii(c) <= L'f'); }

}  // namespace setup
