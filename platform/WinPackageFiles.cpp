#include "platform/WinPackageFiles.h"

#include <windows.h>
#include <wincrypt.h>
#include <mscat.h>
#include <wintrust.h>

#include <cstring>
#include <map>
#include <memory>

#include "platform/WinApi.h"
#include "platform/WinConsole.h"
#include "platform/WinText.h"

namespace setup {
namespace {

using win::LastError;

template <typename T>
struct LocalDeleter {
    void operator()(T* p) const { ::LocalFree(p); }
};
template <typename T>
using LocalPointer = std::unique_ptr<T, LocalDeleter<T>>;

// A decoded object of crypt32's, in memory it allocated.
template <typename T>
LocalPointer<T> Decode(LPCSTR type, const BYTE* data, DWORD size)
{
    void* decoded = nullptr;
    DWORD length = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, type, data, size, CRYPT_DECODE_ALLOC_FLAG,
                               nullptr, &decoded, &length))
        return nullptr;
    return LocalPointer<T>(static_cast<T*>(decoded));
}

std::wstring TagOf(const CRYPT_DATA_BLOB& identifier)
{
    std::wstring tag(identifier.cbData / sizeof(wchar_t), L'\0');
    std::memcpy(tag.data(), identifier.pbData, tag.size() * sizeof(wchar_t));
    return tag.substr(0, tag.find(L'\0'));
}

// The names the catalog gives its members ("File" attributes), by their
// reference tag, and whether it is signed, from its message as crypt32
// decodes it.
bool ReadNamesAndSigners(const std::wstring& path, std::map<std::wstring, std::wstring>& names, bool& signature)
{
    HCRYPTMSG message = nullptr;
    DWORD encoding = 0, content = 0, format = 0;
    if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                            CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, nullptr, &message, nullptr))
        return false;
    DWORD signers = 0, size = sizeof signers;
    signature = ::CryptMsgGetParam(message, CMSG_SIGNER_COUNT_PARAM, 0, &signers, &size) && signers > 0;
    size = 0;
    std::string body;
    if (::CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, nullptr, &size)) {
        body.resize(size);
        if (!::CryptMsgGetParam(message, CMSG_CONTENT_PARAM, 0, body.data(), &size)) body.clear();
    }
    ::CryptMsgClose(message);
    const auto ctl = Decode<CTL_INFO>(PKCS_CTL, reinterpret_cast<const BYTE*>(body.data()), static_cast<DWORD>(body.size()));
    if (!ctl) return true;  // names are a help, not needed
    for (DWORD i = 0; i < ctl->cCTLEntry; ++i) {
        const CTL_ENTRY& entry = ctl->rgCTLEntry[i];
        for (DWORD k = 0; k < entry.cAttribute; ++k) {
            const CRYPT_ATTRIBUTE& attribute = entry.rgAttribute[k];
            if (std::strcmp(attribute.pszObjId, CAT_NAMEVALUE_OBJID) != 0 || attribute.cValue == 0) continue;
            const auto value = Decode<CAT_NAMEVALUE>(CAT_NAMEVALUE_STRUCT, attribute.rgValue[0].pbData, attribute.rgValue[0].cbData);
            if (!value || !value->pwszTag || ::lstrcmpiW(value->pwszTag, L"File") != 0) continue;
            std::wstring file(value->Value.cbData / sizeof(wchar_t), L'\0');
            std::memcpy(file.data(), value->Value.pbData, file.size() * sizeof(wchar_t));
            names[TagOf(entry.SubjectIdentifier)] = file.substr(0, file.find(L'\0'));
        }
    }
    return true;
}

}  // namespace

std::uint32_t WinPackageFiles::List(const std::wstring& folder, std::vector<check::PackageEntry>& entries) const
{
    entries.clear();
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(win::LongPath(folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return LastError();
    std::uint32_t error = 0;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") entries.push_back({name, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (::FindNextFileW(search, &found));
    if ((error = LastError()) == ERROR_NO_MORE_FILES) error = 0;
    ::FindClose(search);
    return error;
}

bool WinPackageFiles::Exists(const std::wstring& path) const
{
    return ::GetFileAttributesW(win::LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint32_t WinPackageFiles::Read(const std::wstring& path, std::size_t limit, std::string& bytes) const
{
    const WholeFile file = ReadWholeFile(win::LongPath(path), limit);
    bytes = file.bytes;
    switch (file.outcome) {
    case WholeFile::Outcome::Read: return 0;
    case WholeFile::Outcome::Missing: return ERROR_FILE_NOT_FOUND;
    case WholeFile::Outcome::TooLarge: return ERROR_FILE_TOO_LARGE;
    case WholeFile::Outcome::Failed: break;
    }
    return file.error ? file.error : ERROR_READ_FAULT;
}

std::uint32_t WinPackageFiles::ReadCatalog(const std::wstring& path, check::Catalog& catalog) const
{
    catalog = {};
    std::wstring file = path;
    const HANDLE handle = ::CryptCATOpen(file.data(), CRYPTCAT_OPEN_EXISTING, 0, 0, 0);
    if (handle == INVALID_HANDLE_VALUE) return LastError() ? LastError() : ERROR_INVALID_DATA;
    for (CRYPTCATMEMBER* member = nullptr; (member = ::CryptCATEnumerateMember(handle, member)) != nullptr;) {
        const SIP_INDIRECT_DATA* data = member->pIndirectData;
        if (!data || !data->DigestAlgorithm.pszObjId) continue;
        check::CatalogMember read;
        if (std::strcmp(data->DigestAlgorithm.pszObjId, szOID_OIWSEC_sha1) == 0) read.kind = check::DigestKind::Sha1;
        else if (std::strcmp(data->DigestAlgorithm.pszObjId, szOID_NIST_sha256) == 0) read.kind = check::DigestKind::Sha256;
        else continue;  // a digest the checker does not take
        read.digest.assign(reinterpret_cast<const char*>(data->Digest.pbData), data->Digest.cbData);
        read.file = member->pwszReferenceTag ? member->pwszReferenceTag : L"";  // named below, by its tag
        catalog.members.push_back(read);
    }
    ::CryptCATClose(handle);
    std::map<std::wstring, std::wstring> names;
    if (!ReadNamesAndSigners(path, names, catalog.signature)) return LastError() ? LastError() : ERROR_INVALID_DATA;
    for (auto& member : catalog.members) {
        const auto name = names.find(member.file);
        member.file = name == names.end() ? L"" : name->second;
    }
    return 0;
}

std::wstring WinPackageFiles::ErrorText(std::uint32_t error) const { return win::ErrorText(error); }

}  // namespace setup
