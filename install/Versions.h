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

// The machine field of a PE program image; nullopt for any other file.
std::optional<std::uint16_t> ImageMachine(std::string_view head);
// Bytes from a file's start that ImageMachine reads.
constexpr std::size_t kImageHeadBytes = 1024;

// Another program (a scanner) may hold a new file for a moment without
// sharing it. An operation refused so (sharing violation, access denied)
// is tried again every kPauseMs until it gets through or the install has
// waited kPatienceMs in all, for all its files together: a lock that ends
// within seconds costs neither a failure nor a restart, and one that never
// ends costs at most that much more time.
class Patience {
public:
    static constexpr std::uint32_t kPauseMs = 100;
    static constexpr std::uint32_t kPatienceMs = 5000;

    explicit Patience(FileFacts& facts) : m_facts(facts) {}

    // attempt() until it returns other than access denied or a sharing
    // violation, or the patience is spent; what it last returned.
    template <typename Attempt>
    std::uint32_t Retry(Attempt attempt)
    {
        std::uint32_t error = attempt();
        while (Busy(error) && m_waitedMs < kPatienceMs) {
            m_facts.Pause(kPauseMs);
            m_waitedMs += kPauseMs;
            error = attempt();
        }
        return error;
    }

private:
    FileFacts& m_facts;
    std::uint32_t m_waitedMs = 0;
};

// A file's version as the user reads it, and its rank; nullopt when the
// file has none (or cannot be read).
struct FoundVersion {
    std::wstring text;
    DriverVersion rank;
};
std::optional<FoundVersion> ReadVersion(FileFacts& facts, Patience& patience, const std::wstring& path, bool inf);

// A package file (an INF file, a .sys driver image or another driver file;
// its name and destination folder in file) before it goes in: a failure
// (kErrorMachineMismatch) in result for a driver image for another
// processor; else its version, if it has one, for CompareWithInstalled.
std::optional<FoundVersion> CheckPackageFile(FileFacts& facts, Patience& patience, const std::wstring& source,
                                             const Failure& file, bool inf, bool image, Result& result);
// An installed file (nullopt: none, or one without a version) newer than
// the package's goes to result.newer.
void CompareWithInstalled(const FoundVersion& package, const std::optional<FoundVersion>& installed,
                          const Failure& file, Result& result);

}  // namespace setup::install
