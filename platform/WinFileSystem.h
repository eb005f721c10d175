// The file system on Win32, as the install sees it, and beside it the
// restart work and the folder redirection.
#pragma once

#include <vector>

#include "install/Services.h"

namespace setup {

class WinFileSystem : public FileSystem {
public:
    std::unique_ptr<FileSearch> FindFiles(const std::wstring& pattern, std::uint32_t& error) const override;
    bool SamePath(const std::wstring& a, const std::wstring& b) const override;
    std::optional<std::uint32_t> Attributes(const std::wstring& path) const override;
    std::optional<FileId> IdOf(const std::wstring& path) const override;
    std::unique_ptr<StagedFile> Stage(const std::wstring& source, const std::wstring& temporary,
                                      std::uint32_t& error) override;
    std::uint32_t LinkFile(const std::wstring& existing, const std::wstring& link) override;
    std::uint32_t RenameFile(const std::wstring& from, const std::wstring& to) override;
    std::uint32_t MoveOver(const std::wstring& from, const std::wstring& to) override;
    std::uint32_t RemoveFile(const std::wstring& path) override;
    std::uint32_t CheckRenamable(const std::wstring& path) override;
    std::uint32_t FlushFolder(const std::wstring& folder) override;
    std::uint32_t WriteJournal(const std::wstring& path, const std::wstring& text, bool append) override;
    std::uint32_t ReadJournal(const std::wstring& path, std::wstring& text) const override;

private:
    std::vector<char> m_copyBuffer;  // for the copies, made once
};

// The restart work, kept by Windows in the registry (MoveFileEx).
class WinRestartQueue : public RestartQueue {
public:
    std::uint32_t DeleteAtRestart(const std::wstring& path) override;
    std::uint32_t ReplaceAtRestart(const std::wstring& from, const std::wstring& to) override;
    std::optional<std::vector<RestartWork>> PendingRestartWork() const override;
};

// WOW64's folder redirection, per thread.
class WinFolderRedirection : public FolderRedirection {
public:
    bool RunsUnderWow64() const override;
    std::uint32_t DisableFolderRedirection(void*& saved) override;
    void RestoreFolderRedirection(void* saved) override;
};

}  // namespace setup
