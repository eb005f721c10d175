// The program's facts (WinSystem.cpp) and the driver store
// (WinDriverStore.cpp) on Win32.
#pragma once

#include "install/Services.h"

namespace setup {

class WinDriverStore : public DriverStore {
public:
    std::uint32_t Add(const std::wstring& inf, std::wstring& publishedName, bool& added) override;
    std::uint32_t Remove(const std::wstring& publishedName) override;
};

class WinSystem : public System {
public:
    std::wstring ProgramFolder() const override;
    std::optional<std::wstring> WindowsFolder() const override;
    RunId ThisRun() const override;
    std::wstring ErrorText(std::uint32_t error) const override;
    std::unique_ptr<InstallLock> LockInstalls(const std::function<void()>& waiting,
                                              const std::function<bool()>& cancelled, std::uint32_t& error) override;
    std::uint32_t RunHidden(const std::wstring& program, const std::wstring& arguments,
                            std::uint32_t& exitCode) override;
};

}  // namespace setup
