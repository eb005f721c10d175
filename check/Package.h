// What the package checker asks of the system about a package's files:
// its folders listed, its files read, and its catalogs decoded by the
// system's own cryptography. Implemented on Win32 in platform/ (wintrust
// and crypt32), and faked in the unit tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "check/Digest.h"

namespace setup::check {

// One file a catalog covers: its digest, and its name where the catalog
// gives one (the "File" attribute that catalog tools write).
struct CatalogMember {
    DigestKind kind = DigestKind::Sha256;
    std::string digest;  // raw bytes
    std::wstring file;   // empty when the catalog names none
};

struct Catalog {
    std::vector<CatalogMember> members;
    bool signature = false;  // it carries at least one signer's signature
};

struct PackageEntry {
    std::wstring name;
    bool folder = false;
};

class PackageFiles {
public:
    virtual ~PackageFiles() = default;
    // The entries of a folder, with error 0; or the error that kept it from
    // being listed to its end.
    [[nodiscard]] virtual std::uint32_t List(const std::wstring& folder, std::vector<PackageEntry>& entries) const = 0;
    // Whether a file (or folder) of that name exists.
    [[nodiscard]] virtual bool Exists(const std::wstring& path) const = 0;
    // A whole file of at most limit bytes: 0 or the error
    // (kErrorFileTooLarge for a longer one).
    [[nodiscard]] virtual std::uint32_t Read(const std::wstring& path, std::size_t limit, std::string& bytes) const = 0;
    // A catalog's members and whether it is signed: 0 or the error (a file
    // that is no catalog among them).
    [[nodiscard]] virtual std::uint32_t ReadCatalog(const std::wstring& path, Catalog& catalog) const = 0;
    // The system's words for an error.
    virtual std::wstring ErrorText(std::uint32_t error) const = 0;
};

}  // namespace setup::check
