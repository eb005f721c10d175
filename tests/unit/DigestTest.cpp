// The hashes the checker compares with a catalog's: SHA-1 and SHA-256 on
// the examples of FIPS 180-4, and the parts of a program image that its
// Authenticode digest takes. Digests of real images, signed and unsigned,
// are compared with osslsigncode's by tests/image-digest-test.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "check/Digest.h"

namespace setup::check {
namespace {

TEST(Digest, FipsExamplesGivenInPiecesOfAnySize)
{
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", million(1000000, 'a');
    const std::size_t pieces[] = {1, 63, 64, 65, 127, 4099, 7};  // taken in turn
    const struct {
        DigestKind kind;
        std::string message;
        const char* expected;
    } cases[] = {
        {DigestKind::Sha1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {DigestKind::Sha1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {DigestKind::Sha1, twoBlocks, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {DigestKind::Sha1, million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {DigestKind::Sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {DigestKind::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {DigestKind::Sha256, twoBlocks, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {DigestKind::Sha256, million, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        Digest digest(c.kind);
        for (std::size_t at = 0, i = 0; at < c.message.size(); at += pieces[i++ % std::size(pieces)]) {
            digest.Update(std::string_view(c.message).substr(at, pieces[i % std::size(pieces)]));
        }
        EXPECT_EQ(HexOf(digest.Final()), c.expected) << c.message.size() << " bytes";
        digest.Update(c.message);  // Final started it over
        EXPECT_EQ(HexOf(digest.Final()), c.expected) << c.message.size() << " bytes, again";
    }
}

void Put(std::string& bytes, std::size_t at, std::uint32_t value, std::size_t width = 4)
{
    for (std::size_t i = 0; i < width; ++i) bytes[at + i] = static_cast<char>(value >> 8 * i);
}

// The image of the rows below at 0x80: "PE\0\0", the file header (its
// SizeOfOptionalHeader at 0x94), the optional header at 0x98, its
// NumberOfRvaAndSizes at 0x104 and the certificate table's entry at 0x128.
constexpr std::size_t kEntry = 0x128;

TEST(Digest, ImagesLeaveOutTheCheckSumAndTheCertificatesOrAreHashedWhole)
{
    // A PE32+ image as far as its digest reads it (the PE header at pe, the
    // rest a pattern) with a certificate table of 0x20 bytes at its end, then
    // changed by the row. The parts hashed end at hashedEnd; 0: the file is
    // hashed whole.
    const struct {
        const char* name;
        void (*change)(std::string& bytes);
        std::size_t hashedEnd;
        std::uint32_t pe = 0x80;
        std::size_t size = 0x400;
    } cases[] = {
        {"signed", [](std::string&) {}, 0x3E0},
        {"PE header far past the first kilobyte", [](std::string&) {}, 0x23E0, 0x2000, 0x2400},
        {"unsigned", [](std::string& b) { Put(b, kEntry, 0), Put(b, kEntry + 4, 0); }, 0x400},
        {"empty table, any offset", [](std::string& b) { Put(b, kEntry, 0xFFFFFFF0), Put(b, kEntry + 4, 0); }, 0x400},
        {"shorter than the DOS header", [](std::string& b) { b.resize(0x3F); }, 0},
        {"no MZ", [](std::string& b) { b[1] = 'X'; }, 0},
        {"e_lfanew at the end", [](std::string& b) { Put(b, 0x3C, 0x400); }, 0},
        {"e_lfanew far past it", [](std::string& b) { Put(b, 0x3C, ~3u); }, 0},
        {"signature ends the file", [](std::string& b) { Put(b, 0x3C, 0x3FC), Put(b, 0x3FC, 'P' | 'E' << 8); }, 0},
        {"cut in the optional header", [](std::string& b) { b.resize(kEntry + 6); }, 0},
        {"no PE signature", [](std::string& b) { b[0x83] = 1; }, 0},
        {"ROM image", [](std::string& b) { Put(b, 0x98, 0x107, 2); }, 0},
        {"optional header without the certificate entry", [](std::string& b) { Put(b, 0x94, 148, 2); }, 0},
        {"four data directories", [](std::string& b) { Put(b, 0x104, 4); }, 0},
        {"table past the end", [](std::string& b) { Put(b, kEntry, 0x400); }, 0},
        {"table's end beyond 4 GiB", [](std::string& b) { Put(b, kEntry, 0xFFFFFFF8), Put(b, kEntry + 4, 0x408); }, 0},
        {"table over the headers", [](std::string& b) { Put(b, kEntry, 0x100), Put(b, kEntry + 4, 0x300); }, 0},
        {"bytes after the table", [](std::string& b) { Put(b, kEntry, 0x3C0); }, 0},
    };
    for (const auto& c : cases) {
        std::string bytes(c.size, '\0');
        for (std::size_t i = 0; i < c.size; ++i) bytes[i] = static_cast<char>(i * 7 + 1);
        const std::size_t checkSum = c.pe + 24 + 64, entry = c.pe + 24 + 144;
        Put(bytes, 0, 'M' | 'Z' << 8, 2), Put(bytes, 0x3C, c.pe), Put(bytes, c.pe, 'P' | 'E' << 8);
        Put(bytes, c.pe + 20, 240, 2), Put(bytes, c.pe + 24, 0x20b, 2), Put(bytes, entry - 36, 16);
        Put(bytes, entry, static_cast<std::uint32_t>(c.size - 0x20)), Put(bytes, entry + 4, 0x20);
        c.change(bytes);
        // In a buffer of its exact size, so that the address sanitizer sees a
        // read past the end.
        const auto exact = std::make_unique<char[]>(bytes.size());
        const std::string_view file(exact.get(), bytes.size());
        std::copy(bytes.begin(), bytes.end(), exact.get());
        bool image = !c.hashedEnd;
        const std::string digest = FileDigest(file, DigestKind::Sha256, image);
        Digest whole(DigestKind::Sha256);
        whole.Update(file);
        EXPECT_EQ(image, c.hashedEnd != 0) << c.name;
        EXPECT_EQ(digest == whole.Final(), c.hashedEnd == 0) << c.name;
        const std::vector<ByteRange> parts = {
            {0, checkSum}, {checkSum + 4, entry - checkSum - 4}, {entry + 8, c.hashedEnd - entry - 8}};
        EXPECT_EQ(AuthenticodeRanges(file), c.hashedEnd ? std::optional(parts) : std::nullopt) << c.name;
    }
}

}  // namespace
}  // namespace setup::check
