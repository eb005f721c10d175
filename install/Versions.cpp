#include "install/Versions.h"

namespace setup::install {

std::optional<DriverVersion> ParseVersion(std::wstring_view text, bool inf)
{
    // Numbers of up to 5 digits: month/day/year, "," (or a dash for the
    // slashes), then w.x.y.z.
    const std::size_t dateNumbers = inf ? 3 : 0;
    std::uint32_t numbers[7] = {};
    std::size_t count = 0;
    for (std::size_t at = 0;;) {
        const std::size_t start = at;
        for (; at < text.size() && at - start < 6 && text[at] >= L'0' && text[at] <= L'9'; ++at)
            numbers[count] = numbers[count] * 10 + static_cast<std::uint32_t>(text[at] - L'0');
        if (at == start || at - start > 5 || numbers[count] > 0xFFFF) return std::nullopt;
        if (++count == 7 || at == text.size()) {
            if (at != text.size()) return std::nullopt;
            break;
        }
        const wchar_t separator = text[at++];
        const bool expected = count < dateNumbers ? separator == L'/' || separator == L'-'
                                                  : separator == (count == dateNumbers ? L',' : L'.');
        if (!expected || count >= dateNumbers + 4) return std::nullopt;
    }
    if (count < dateNumbers) return std::nullopt;
    DriverVersion result;
    if (inf) {
        const std::uint32_t month = numbers[0], day = numbers[1], year = numbers[2];
        if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1000 || year > 9999) return std::nullopt;
        result.date = year * 10000 + month * 100 + day;
    }
    for (std::size_t part = 0; part < 4; ++part) result.version = result.version << 16 | numbers[dateNumbers + part];
    return result;
}

namespace {

std::uint32_t Little(std::string_view bytes, std::size_t at, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t i = count; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

// Up to size bytes of a file from offset, waiting for a hold on it.
std::uint32_t ReadAt(Context& c, const std::wstring& path, std::uint64_t offset, char* buffer, std::size_t size,
                     std::size_t& read)
{
    return c.patience.Retry([&] { return c.facts.ReadAt(path, offset, buffer, size, read); });
}

}  // namespace

std::optional<std::uint32_t> PeHeaderAt(std::string_view dosHeader)
{
    if (dosHeader.size() < kDosHeaderBytes || dosHeader[0] != 'M' || dosHeader[1] != 'Z') return std::nullopt;
    return Little(dosHeader, 0x3C, 4);
}

std::optional<std::uint16_t> PeMachine(std::string_view peHeader)
{
    if (peHeader.size() < kPeHeaderBytes || peHeader.substr(0, 4) != std::string_view("PE\0\0", 4)) return std::nullopt;
    return static_cast<std::uint16_t>(Little(peHeader, 4, 2));
}

std::uint32_t ReadVersion(Context& c, const std::wstring& path, bool inf, std::optional<FoundVersion>& version)
{
    FoundVersion found;
    version.reset();
    const std::uint32_t error = c.patience.Retry([&] { return c.facts.FileVersion(path, inf, found.text); });
    if (error != 0) return error;
    if (const auto rank = ParseVersion(found.text, inf)) {
        found.rank = *rank;
        version = found;
    }
    return 0;
}

std::optional<FoundVersion> CheckPackageFile(Context& c, const std::wstring& source, const Failure& file, bool inf,
                                             bool image, Result& result)
{
    std::uint32_t error = 0;
    if (image) {
        // The PE header is where the DOS header says, however far in.
        char dos[kDosHeaderBytes], pe[kPeHeaderBytes];
        std::size_t size = 0;
        error = ReadAt(c, source, 0, dos, sizeof dos, size);
        const auto at = error ? std::nullopt : PeHeaderAt({dos, size});
        // No program image, so no version: its start says so already.
        if (error == 0 && !at && (size < 2 || dos[0] != 'M' || dos[1] != 'Z')) return std::nullopt;
        if (error == 0 && at) error = ReadAt(c, source, *at, pe, sizeof pe, size);
        const auto machine = error == 0 && at ? PeMachine({pe, size}) : std::nullopt;
        const std::uint16_t kernel = c.facts.KernelMachine();
        if (kernel != 0 && machine && *machine != kernel) {
            result.failures.push_back({file.name, file.folder, kErrorMachineMismatch});
            return std::nullopt;
        }
    }
    std::optional<FoundVersion> version;
    if (error == 0) error = ReadVersion(c, source, inf, version);
    // Without its header or its version the package file cannot be checked.
    if (error != 0) result.unreadable.push_back({file.name, FolderOf(source), error});
    return version;
}

void CompareWithInstalled(const FoundVersion& package, const std::optional<FoundVersion>& installed,
                          const Failure& file, Result& result)
{
    if (!installed || !(package.rank < installed->rank)) return;
    result.newer.push_back({file.name, file.folder, 0, installed->text + L"; " + package.text});  // "installed; package's"
}

}  // namespace setup::install
