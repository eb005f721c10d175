// What the install learns from the driver's files before it changes
// anything: their versions, the processor a driver image is built for, and
// its patience with files that another program holds for a moment.
//
// A package never replaces an installed file that is newer than its own:
//   *.sys, *.pdr  the numeric file version of the version resource;
//   *.inf         DriverVer of its [Version] section: the date first, then
//                 the version, as Plug and Play ranks drivers.
// A file without a version, on either side, is replaced as before. And a
// .sys that is a program image for another processor than the one this
// Windows' kernel runs on is refused: it could never load.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "install/Context.h"

namespace setup::install {

// A file's rank: a driver image's file version (date 0), or an INF file's
// DriverVer=mm/dd/yyyy[,w.x.y.z].
struct DriverVersion {
    std::uint32_t date = 0;     // yyyymmdd
    std::uint64_t version = 0;  // w.x.y.z in four 16-bit parts; 0 when the INF gives none
};
inline bool operator<(const DriverVersion& a, const DriverVersion& b)
{
    return a.date != b.date ? a.date < b.date : a.version < b.version;
}

// A version as FileFacts::FileVersion gives it: "w.x.y.z" (missing parts
// 0), or for an INF file DriverVer's fields "mm/dd/yyyy[,w.x.y.z]";
// nullopt when it is not one.
std::optional<DriverVersion> ParseVersion(std::wstring_view text, bool inf);

// Where a file's PE header starts, as its DOS header's e_lfanew says (the
// first kDosHeaderBytes of the file): nullopt for a file that is no program
// image ("MZ").
constexpr std::size_t kDosHeaderBytes = 0x40;
std::optional<std::uint32_t> PeHeaderAt(std::string_view dosHeader);
// The machine field of a PE header (its first kPeHeaderBytes); nullopt when
// it is none.
constexpr std::size_t kPeHeaderBytes = 6;
std::optional<std::uint16_t> PeMachine(std::string_view peHeader);

// A file's version as the user reads it, and its rank.
struct FoundVersion {
    std::wstring text;
    DriverVersion rank;
};
// A file's version (nullopt: it has none), waiting for another program's
// hold on it while the run's patience lasts. 0, or the error when it could
// not be read.
[[nodiscard]] std::uint32_t ReadVersion(Context& context, const std::wstring& path, bool inf,
                                        std::optional<FoundVersion>& version);

// A package file (an INF file, a .sys driver image or another driver file;
// its name and destination folder in file) before it goes in: a failure
// (kErrorMachineMismatch) in result for a driver image for another
// processor, and in result.unreadable one whose header or version cannot be
// read; else its version, if it has one, for CompareWithInstalled.
std::optional<FoundVersion> CheckPackageFile(Context& context, const std::wstring& source, const Failure& file,
                                             bool inf, bool image, Result& result);
// An installed file (nullopt: none, or one without a version) newer than
// the package's goes to result.newer.
void CompareWithInstalled(const FoundVersion& package, const std::optional<FoundVersion>& installed,
                          const Failure& file, Result& result);

}  // namespace setup::install
