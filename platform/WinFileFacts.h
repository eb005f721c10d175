// What the install reads in the driver's files, on Win32 (FileFacts).
#pragma once

#include "install/Services.h"

namespace setup {

class WinFileFacts : public FileFacts {
public:
    void Prepare() override;
    std::uint32_t FileVersion(const std::wstring& path, bool inf, std::wstring& text) const override;
    std::uint32_t ReadAt(const std::wstring& path, std::uint64_t offset, char* buffer, std::size_t size,
                         std::size_t& read) const override;
    std::uint32_t ReadFile(const std::wstring& path, std::size_t limit, std::vector<char>& bytes) const override;
    std::vector<std::wstring> InfNeeds(const std::wstring& inf, const std::wstring& decoration) const override;
    std::uint16_t KernelMachine() const override { return m_kernelMachine; }
    void Pause(std::uint32_t ms) override;

private:
    bool m_prepared = false;
    std::uint16_t m_kernelMachine = 0;
};

}  // namespace setup
