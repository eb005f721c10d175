// The processors Windows runs on and driver packages serve, one definition
// for the install and the package checker.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/Ascii.h"

namespace setup::install {

// A processor: the machine field of its program images, the folders of a
// package's Driver folder that hold its .sys files (any letter case), and
// the decoration of its INF sections (SourceDisksFiles.amd64,
// Manufacturer's NTamd64).
struct Processor {
    std::uint16_t machine;
    const wchar_t* folders[2];  // the second may be null
    const wchar_t* decoration;
};
inline constexpr Processor kProcessors[] = {
    {0x014C, {L"x86", L"i386"}, L"x86"},
    {0x8664, {L"amd64", L"x64"}, L"amd64"},
    {0xAA64, {L"arm64", nullptr}, L"arm64"},
};

// The processor of a machine field, or of a folder's name; null when none.
inline const Processor* ProcessorOfMachine(std::uint16_t machine)
{
    for (const auto& processor : kProcessors)
        if (processor.machine == machine) return &processor;
    return nullptr;
}
inline const Processor* ProcessorOfFolder(std::wstring_view name)
{
    for (const auto& processor : kProcessors)
        for (const wchar_t* folder : processor.folders)
            if (folder && EqualsIgnoringAsciiCase(name, folder)) return &processor;
    return nullptr;
}

}  // namespace setup::install
