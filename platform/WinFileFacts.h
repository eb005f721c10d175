// What the install reads in the driver's files, on Win32 (FileFacts).
#pragma once

#include "platform/Platform.h"

namespace setup {

class WinFileFacts : public FileFacts {
public:
    void Prepare() override;
    std::uint32_t FileVersion(const std::wstring& path, std::optional<std::uint64_t>& version) const override;
    std::uint32_t ReadStart(const std::wstring& path, std::size_t limit, std::string& bytes) const override;
    std::uint16_t KernelMachine() const override { return m_kernelMachine; }
    void Pause(std::uint32_t ms) override;

private:
    bool m_prepared = false;
    std::uint16_t m_kernelMachine = 0;
    // version.dll's, which the program does not import.
    void* m_sizeOf = nullptr;
    void* m_infoOf = nullptr;
    void* m_query = nullptr;
};

}  // namespace setup
