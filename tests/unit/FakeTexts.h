// The system's texts for the unit tests: one INI file of sections of keys,
// matched without regard to case as the Windows profile reader does.
#pragma once

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "text/TextServices.h"

namespace setup::test {

// Letters in one case, as Windows folds names and keys: ASCII, Latin-1 and
// Cyrillic here, and the long s, which folds to an ASCII letter: enough for
// the tests.
inline std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) -> wchar_t {
        if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x410 && c <= 0x42F)) return wchar_t(c + 0x20);
        if (c == 0x17F) return L's';
        return std::towlower(c);
    });
    return text;
}

inline std::wstring Upper(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return wchar_t(std::towupper(c)); });
    return text;
}

class FakeTexts : public TextServices {
public:
    std::uint16_t langId = 1033;
    std::wstring iniPath = L"C:\\Package\\Setup.Ini";
    bool fileExists = true;
    bool keyListReadable = true;
    mutable int stringReads = 0;
    mutable std::vector<std::wstring> pathsRead;

    void Set(const std::wstring& section, const std::wstring& key, const std::wstring& value)
    {
        auto& keys = sections[Lower(section)];
        for (auto& entry : keys)
            if (Lower(entry.first) == Lower(key)) {
                entry.second = value;
                return;
            }
        keys.emplace_back(key, value);
    }

    std::uint16_t SystemDefaultLangId() const override { return langId; }

    std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                            const std::wstring& file) const override
    {
        const std::wstring* value = Find(section, key, file);
        if (!value) return def;
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::wcstoll(value->c_str(), nullptr, 10)));
    }

    std::wstring ProfileString(const std::wstring& section, const std::wstring& key, const std::wstring& def,
                               const std::wstring& file) const override
    {
        ++stringReads;
        const std::wstring* value = Find(section, key, file);
        return value ? *value : def;
    }

    std::optional<std::vector<std::wstring>> ProfileKeys(const std::wstring& section,
                                                         const std::wstring& file) const override
    {
        if (!keyListReadable) return std::nullopt;
        std::vector<std::wstring> names;
        if (!fileExists || file != iniPath) return names;
        const auto found = sections.find(Lower(section));
        if (found != sections.end())
            for (const auto& entry : found->second) names.push_back(entry.first);
        return names;
    }

    // A double-byte code page: ASCII takes one byte, anything else two.
    std::size_t AnsiSize(std::wstring_view text) const override
    {
        std::size_t bytes = 0;
        for (wchar_t c : text) bytes += c < 0x80 ? 1 : 2;
        return bytes;
    }

private:
    const std::wstring* Find(const std::wstring& section, const std::wstring& key, const std::wstring& file) const
    {
        pathsRead.push_back(file);
        if (!fileExists || file != iniPath) return nullptr;
        const auto found = sections.find(Lower(section));
        if (found == sections.end()) return nullptr;
        for (const auto& entry : found->second)
            if (Lower(entry.first) == Lower(key)) return &entry.second;
        return nullptr;
    }

    std::map<std::wstring, std::vector<std::pair<std::wstring, std::wstring>>> sections;
};

}  // namespace setup::test
