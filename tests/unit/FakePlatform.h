// In-memory stand-ins for the system services and the window, for the unit
// tests of the portable core.
#pragma once

#include <algorithm>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace setup::test {

// One INI file: sections of keys, matched without regard to case as the
// Windows profile reader does.
class FakeServices : public Services {
public:
    std::wstring programFolder = L"C:\\Package";
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

    std::wstring ProgramFolder() const override { return programFolder; }
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

    // ---- An in-memory file system, with failures on demand.
    struct File {
        std::wstring path;  // as created
        std::string bytes;
        std::uint32_t attributes = 0;
    };
    std::map<std::wstring, File> files;  // by lower-case path
    std::wstring windowsFolder = L"C:\\Windows";
    bool windowsFolderFails = false;
    std::map<std::wstring, std::uint32_t> copyErrors;  // by lower-case target
    std::map<std::wstring, std::uint32_t> moveErrors;  // by lower-case target
    int searchFailsAfter = -1;                         // names a search gives before it fails
    bool wow64 = false;
    mutable std::vector<std::wstring> calls;           // copies, moves, removals, redirection
    std::vector<std::wstring> written;                 // targets of the copies and moves that succeeded

    void AddFolder(const std::wstring& path) { files[Lower(path)] = {path, {}, kAttributeDirectory}; }
    void AddFile(const std::wstring& path, const std::string& bytes, std::uint32_t attributes = 0)
    {
        files[Lower(path)] = {path, bytes, attributes};
    }
    const File* FileAt(const std::wstring& path) const
    {
        const auto found = files.find(Lower(path));
        return found == files.end() ? nullptr : &found->second;
    }
    // Paths of the files below a folder.
    std::vector<std::wstring> FilesBelow(const std::wstring& folder) const
    {
        std::vector<std::wstring> paths;
        const std::wstring prefix = Lower(folder) + L"\\";
        for (const auto& [key, file] : files)
            if (key.rfind(prefix, 0) == 0 && !(file.attributes & kAttributeDirectory)) paths.push_back(file.path);
        return paths;
    }

    std::optional<std::wstring> WindowsFolder() const override
    {
        if (windowsFolderFails) return std::nullopt;
        return windowsFolder;
    }

    // Like Windows, "*.inf" also matches names whose extension only starts
    // with inf (their 8.3 short names end in .INF).
    std::unique_ptr<FileSearch> FindFiles(const std::wstring& pattern) const override
    {
        calls.push_back(L"search " + pattern);
        const auto slash = pattern.find_last_of(L'\\');
        const std::wstring folder = Lower(pattern.substr(0, slash));
        const std::wstring ext = Lower(pattern.substr(slash + 3));  // after "\\*."
        std::vector<FoundFile> found;
        for (const auto& [key, file] : files) {
            if (key.size() <= folder.size() + 1 || key.compare(0, folder.size() + 1, folder + L"\\") != 0) continue;
            const std::wstring name = file.path.substr(folder.size() + 1);
            if (name.find(L'\\') != std::wstring::npos) continue;
            const auto dot = Lower(name).find_last_of(L'.');
            if (dot != std::wstring::npos && Lower(name).compare(dot + 1, ext.size(), ext) == 0)
                found.push_back({name, file.attributes});
        }
        if (found.empty()) return nullptr;
        return std::make_unique<Search>(std::move(found), searchFailsAfter);
    }

    std::optional<std::uint32_t> Attributes(const std::wstring& path) const override
    {
        const File* file = FileAt(path);
        if (!file) return std::nullopt;
        return file->attributes;
    }

    std::uint32_t CopyToFile(const std::wstring& source, const std::wstring& target, bool replace) override
    {
        calls.push_back(L"copy " + source + L" -> " + target);
        const File* from = FileAt(source);
        if (!from) return 2;  // file not found
        if (const File* to = FileAt(target)) {
            if (!replace) return kErrorFileExists;
            if (to->attributes & kAttributeDirectory) return kErrorAccessDenied;
        }
        if (const auto error = copyErrors.find(Lower(target)); error != copyErrors.end()) {
            AddFile(target, from->bytes.substr(0, from->bytes.size() / 2));  // cut short, as a full disk does
            return error->second;
        }
        AddFile(target, from->bytes, from->attributes);
        written.push_back(target);
        return 0;
    }

    std::uint32_t MoveOver(const std::wstring& from, const std::wstring& to) override
    {
        calls.push_back(L"move " + from + L" -> " + to);
        if (const auto error = moveErrors.find(Lower(to)); error != moveErrors.end()) return error->second;
        const File* source = FileAt(from);
        if (!source) return 2;
        File moved = *source;
        moved.path = to;
        files.erase(Lower(from));
        files[Lower(to)] = moved;
        written.push_back(to);
        return 0;
    }

    std::uint32_t RemoveFile(const std::wstring& path) override
    {
        calls.push_back(L"remove " + path);
        return files.erase(Lower(path)) ? 0 : 2;
    }

    std::wstring ErrorText(std::uint32_t error) const override { return L"error " + std::to_wstring(error); }

    bool RunsUnderWow64() const override { return wow64; }
    bool DisableFolderRedirection() override
    {
        calls.push_back(L"redirection off");
        return true;
    }
    void RestoreFolderRedirection() override { calls.push_back(L"redirection on"); }

private:
    class Search : public FileSearch {
    public:
        Search(std::vector<FoundFile> names, int failAfter) : m_names(std::move(names)), m_failAfter(failAfter) {}
        bool Next(FoundFile& file) override
        {
            if (m_next >= m_names.size() || (m_failAfter >= 0 && int(m_next) >= m_failAfter)) return false;
            file = m_names[m_next++];
            return true;
        }

    private:
        std::vector<FoundFile> m_names;
        int m_failAfter;
        std::size_t m_next = 0;
    };

    static std::wstring Lower(std::wstring text)
    {
        std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return std::towlower(c); });
        return text;
    }

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

// The window: remembers geometry, texts, messages and the end.
class FakeForm : public Form {
public:
    explicit FakeForm(const FormDesign& design) : scaleWidth(design.scaleWidth)
    {
        rects[kFormId] = {0, 0, design.scaleWidth, design.scaleHeight};
        for (const auto& control : design.controls) rects[control.id] = control.rect;
    }

    std::map<ControlId, Twips> rects;
    std::map<ControlId, std::wstring> texts;
    double scaleWidth;
    struct Message {
        std::wstring text;
        MessageIcon icon;
    };
    std::vector<Message> messages;
    std::vector<std::wstring> log;  // the calls in order
    bool ended = false;
    int exitCode = -1;

    Twips Geometry(ControlId control) const override { return rects.at(control); }
    void Move(ControlId control, const Twips& rect) override { rects[control] = rect; }
    double ScaleWidth() const override { return scaleWidth; }
    void SetText(ControlId control, const std::wstring& text) override
    {
        texts[control] = text;
        log.push_back(L"text");
    }
    void ShowMessage(const std::wstring& text, MessageIcon icon) override
    {
        messages.push_back({text, icon});
        log.push_back(L"message");
    }
    void End(int code) override
    {
        ended = true;
        exitCode = code;
        log.push_back(L"end");
    }
};

}  // namespace setup::test
