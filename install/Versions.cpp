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

std::optional<std::uint16_t> ImageMachine(std::string_view head)
{
    const auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(head[i])); };
    if (head.size() < 0x40 || head[0] != 'M' || head[1] != 'Z') return std::nullopt;
    const std::uint32_t at = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    if (at > head.size() || head.size() - at < 6 || head[at] != 'P' || head[at + 1] != 'E' || head[at + 2] || head[at + 3])
        return std::nullopt;
    return static_cast<std::uint16_t>(byte(at + 4) | byte(at + 5) << 8);
}

std::optional<FoundVersion> ReadVersion(FileFacts& facts, Patience& patience, const std::wstring& path, bool inf)
{
    FoundVersion version;
    patience.Retry([&] { return facts.FileVersion(path, inf, version.text); });
    const auto rank = ParseVersion(version.text, inf);
    if (!rank) return std::nullopt;
    version.rank = *rank;
    return version;
}

std::optional<FoundVersion> CheckPackageFile(FileFacts& facts, Patience& patience, const std::wstring& source,
                                             const Failure& file, bool inf, bool image, Result& result)
{
    if (image) {
        char head[kImageHeadBytes];
        std::size_t size = 0;
        const std::uint16_t kernel = facts.KernelMachine();
        const bool read = patience.Retry([&] { return facts.ReadStart(source, head, sizeof head, size); }) == 0;
        const auto machine = read ? ImageMachine({head, size}) : std::nullopt;
        if (kernel != 0 && machine && *machine != kernel) {
            result.failures.push_back({file.name, file.folder, kErrorMachineMismatch});
            return std::nullopt;
        }
        // No program image, so no version: its start says so already.
        if (read && (size < 2 || head[0] != 'M' || head[1] != 'Z')) return std::nullopt;
    }
    return ReadVersion(facts, patience, source, inf);
}

void CompareWithInstalled(const FoundVersion& package, const std::optional<FoundVersion>& installed,
                          const Failure& file, Result& result)
{
    if (!installed || !(package.rank < installed->rank)) return;
    result.newer.push_back({file.name, file.folder, 0, installed->text + L"; " + package.text});  // "installed; package's"
}

}  // namespace setup::install
