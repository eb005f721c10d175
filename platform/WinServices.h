// Services on Win32.
#pragma once

#include "platform/Platform.h"
#include "platform/WinText.h"

namespace setup {

class WinServices : public Services {
public:
    std::wstring ProgramFolder() const override;
    std::uint16_t SystemDefaultLangId() const override { return m_text.SystemDefaultLangId(); }
    std::int32_t ProfileInt(const std::wstring& section, const std::wstring& key, std::int32_t def,
                            const std::wstring& file) const override
    {
        return m_text.ProfileInt(section, key, def, file);
    }
    std::wstring ProfileString(const std::wstring& section, const std::wstring& key,
                               const std::wstring& def, const std::wstring& file) const override
    {
        return m_text.ProfileString(section, key, def, file);
    }
    std::optional<std::vector<std::wstring>> ProfileKeys(const std::wstring& section,
                                                         const std::wstring& file) const override
    {
        return m_text.ProfileKeys(section, file);
    }
    std::size_t AnsiSize(std::wstring_view text) const override { return m_text.AnsiSize(text); }

    std::optional<std::wstring> WindowsFolder() const override;
    std::unique_ptr<InstallLock> LockInstalls(const std::function<void()>& waiting,
                                              const std::function<bool()>& cancelled, std::uint32_t& error) override;
    std::unique_ptr<FileSearch> FindFiles(const std::wstring& pattern, std::uint32_t& error) const override;
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
    std::uint32_t DeleteAtRestart(const std::wstring& path) override;
    std::uint32_t ReplaceAtRestart(const std::wstring& from, const std::wstring& to) override;
    std::vector<RestartWork> PendingRestartWork() const override;
    std::uint32_t AddToDriverStore(const std::wstring& inf, std::wstring& publishedName, bool& added) override;
    std::uint32_t RemoveFromDriverStore(const std::wstring& publishedName) override;
    std::uint32_t RunHidden(const std::wstring& program, const std::wstring& arguments,
                            std::uint32_t& exitCode) override;
    std::uint32_t ProcessId() const override;
    std::wstring ErrorText(std::uint32_t error) const override;
    bool RunsUnderWow64() const override;
    std::uint32_t DisableFolderRedirection() override;
    void RestoreFolderRedirection() override;

private:
    WinTextServices m_text;
    void* m_redirection = nullptr;  // the state Wow64DisableWow64FsRedirection saved
    std::vector<char> m_copyBuffer;  // for the copies, made once
};

}  // namespace setup
