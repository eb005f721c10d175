// The hashes a driver package's catalog (.cat) lists for its files, so that
// the checker can compare each file with its catalog entry: SHA-1 and
// SHA-256 (FIPS 180-4).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

// Bytes as lowercase hexadecimal digits.
std::string HexOf(std::string_view bytes);

}  // namespace setup::check
