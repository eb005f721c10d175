// What the text table is read with: the system's language and its profile
// (INI file) reader. Implemented on Win32 in platform/WinText; faked in the
// unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup {

// What the text table is read with: the system's language and the profile
// (INI file) reader, in the system's ANSI code page.
class TextServices {
public:
    virtual ~TextServices() = default;

    virtual std::uint16_t SystemDefaultLangId() const = 0;

    // The key's value as a signed 32-bit number; def when the file, the
    // section or the key is missing.
    virtual std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key,
                                    std::int32_t def, const std::wstring& file) const = 0;

    // The key's value decoded to wide characters, without NULs; def when
    // the file, the section or the key is missing. Returns at least the
    // first 254 characters of a long value; the caller applies the length
    // limit.
    virtual std::wstring ProfileString(const std::wstring& section, const std::wstring& key,
                                       const std::wstring& def,
                                       const std::wstring& file) const = 0;

    // Names of the keys of a section (empty when the file or section is
    // missing); nullopt when the list could not be read whole.
    virtual std::optional<std::vector<std::wstring>> ProfileKeys(
        const std::wstring& section, const std::wstring& file) const = 0;

    // Bytes the text takes in the system's ANSI code page.
    virtual std::size_t AnsiSize(std::wstring_view text) const = 0;
};

}  // namespace setup
