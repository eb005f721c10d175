// A package's files on Win32, for the package checker: listings and whole
// files by the file API, catalogs by wintrust and crypt32.
#pragma once

#include "check/Package.h"

namespace setup {

class WinPackageFiles final : public check::PackageFiles {
public:
    std::uint32_t List(const std::wstring& folder, std::vector<check::PackageEntry>& entries) const override;
    bool Exists(const std::wstring& path) const override;
    std::uint32_t Read(const std::wstring& path, std::size_t limit, std::string& bytes) const override;
    std::uint32_t ReadCatalog(const std::wstring& path, check::Catalog& catalog) const override;
    std::wstring ErrorText(std::uint32_t error) const override;
};

}  // namespace setup
