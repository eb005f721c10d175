// The hashes a driver package's catalog (.cat) lists for its files, so that
// the checker can compare each file with its catalog entry: SHA-1 and
// SHA-256 (FIPS 180-4), and the Authenticode digest that Windows takes of a
// program image (a .sys, .dll or .exe) instead of the hash of its bytes.
//
// The Authenticode digest leaves out what signing the image changes: the
// optional header's CheckSum, the data-directory entry of the certificate
// table (IMAGE_DIRECTORY_ENTRY_SECURITY) and the certificate table itself,
// which lies at the end of the file. So a signed image and the same image
// unsigned have the same digest, and a catalog lists that one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace setup::check {

enum class DigestKind { Sha1, Sha256 };

// A digest of bytes given in pieces of any size.
class Digest {
public:
    explicit Digest(DigestKind kind);

    void Update(const void* data, std::size_t size);
    void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
    // The digest of everything given since the start (20 bytes for SHA-1, 32
    // for SHA-256); the object then starts over, as if new.
    std::string Final();

    DigestKind Kind() const { return kind_; }
    static std::size_t Size(DigestKind kind) { return kind == DigestKind::Sha1 ? 20 : 32; }

private:
    void Start();
    void Blocks(const unsigned char* data, std::size_t count);

    DigestKind kind_;
    std::uint32_t state_[8];
    std::uint64_t length_;  // bytes given since the start
    unsigned char pending_[64];
    std::size_t pendingSize_;
};

struct ByteRange {
    std::size_t offset;
    std::size_t size;

    bool operator==(const ByteRange& other) const { return offset == other.offset && size == other.size; }
};

// The parts of a program image that its Authenticode digest takes, in file
// order. Nothing when the file is no PE image (PE32 or PE32+), or when its
// headers are cut short or point outside the file: such a file is hashed
// whole. The certificate table, when the image has one, must end where the
// file ends, as signing leaves it.
std::optional<std::vector<ByteRange>> AuthenticodeRanges(std::string_view file);

// The digest a catalog lists for a file: the Authenticode digest of a
// program image (image is then true), the hash of all its bytes otherwise.
std::string FileDigest(std::string_view file, DigestKind kind, bool& image);

// Bytes as lowercase hexadecimal digits.
std::string HexOf(std::string_view bytes);

}  // namespace setup::check
