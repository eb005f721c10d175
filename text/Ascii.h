// Letter case and digits as names and keys compare them: the ASCII letters
// only, as Windows compares the names this program chooses and the keys of
// an INI file, in wide text and in bytes alike.
#pragma once

#include <string>
#include <string_view>

namespace setup {

inline wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; }
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

inline std::wstring LowerAscii(std::wstring_view text)
{
    std::wstring lower(text);
    for (auto& c : lower) c = LowerAscii(c);
    return lower;
}

template <typename Char>
bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}
inline bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b)
{
    return EqualsIgnoringAsciiCase<wchar_t>(a, b);
}


}  // namespace setup
