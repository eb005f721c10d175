// The package checker's look at the Driver folder, as Windows will see it:
// for each processor the package serves (the INF files' decorated
// [Manufacturer] sections, and the processor folders Install takes .sys
// files from), each INF file's catalog and source files are in the
// package, every file the catalog covers matches it, and each driver image
// is built for its processor. Findings are errors (Windows refuses the
// package, or a driver will not load), warnings (probably a mistake) or
// notes (worth knowing); see CheckDriverFolder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/CodePages.h"
#include "check/Package.h"
#include "check/SetupCheck.h"

namespace setup::check {

struct DriverFinding {
    Severity severity;
    std::wstring file;  // relative to the package folder, "Driver\acme.inf"
    int line;           // 0: the file as a whole
    std::wstring text;  // with the INF section and key where it has them
};

struct DriverResult {
    std::vector<std::wstring> infs;        // the INF files checked
    std::vector<std::wstring> processors;  // the ones the package serves, by folder name
    std::vector<DriverFinding> findings;   // by file, then line
    std::uint64_t bytesRead = 0;           // each file read once

    int Count(Severity severity) const;
};

// Checks the Driver folder of the package in packageFolder. The ANSI code
// page of codePages is the installing system's, for INF files without a
// byte-order mark.
DriverResult CheckDriverFolder(const std::wstring& packageFolder, const PackageFiles& files, const CodePages& codePages);

// The findings as "Driver\acme.inf:12: error: ...", after a line of what was
// checked; then the count, unless the caller sums up itself.
std::wstring FormatDriverReport(const DriverResult& result, bool withCount = true);

}  // namespace setup::check
