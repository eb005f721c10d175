#include "check/Digest.h"

#include <cstring>

namespace setup::check {
namespace {

// FIPS 180-4 works on big-endian 32-bit words. The compilers turn these
// shifts into single loads and rotate instructions.
inline std::uint32_t Be32(const unsigned char* p)
{
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]};
}

inline void PutBe32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

inline std::uint32_t Rotl(std::uint32_t x, int n)
{
    return x << n | x >> (32 - n);
}

inline std::uint32_t Rotr(std::uint32_t x, int n)
{
    return x >> n | x << (32 - n);
}

// SHA-1 (FIPS 180-4, 6.1.2). Each round is written out with the five
// working variables passed in turn, so that none is ever copied: the
// variable that would become "a" is the one the next round names first.
// The rounds are inlined whatever the build's optimization, so that the
// variables stay in registers, and SHA-1's loops are unrolled, so that the
// indices of its message schedule are constants: this is what makes the
// check of a package about as fast as sha1sum (see CMakeLists.txt for the
// -O2). Unrolled, SHA-256 was 6 KB larger and at most 9 % faster.

inline std::uint32_t Ch(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return z ^ (x & (y ^ z));
}

inline std::uint32_t Parity(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return x ^ y ^ z;
}

inline std::uint32_t Maj(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
    return (x & y) | (z & (x | y));
}

// The message schedule kept as the last 16 words.
inline std::uint32_t Sha1Word(std::uint32_t* w, int t)
{
    const std::uint32_t next = Rotl(w[(t + 13) & 15] ^ w[(t + 8) & 15] ^ w[(t + 2) & 15] ^ w[t & 15], 1);
    w[t & 15] = next;
    return next;
}

template <std::uint32_t (*F)(std::uint32_t, std::uint32_t, std::uint32_t), std::uint32_t K>
[[gnu::always_inline]] inline void Sha1Round(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
                      std::uint32_t w)
{
    e += Rotl(a, 5) + F(b, c, d) + K + w;
    b = Rotl(b, 30);
}

// Five rounds, t to t + 4, after which the variables are back in their
// places.
template <std::uint32_t (*F)(std::uint32_t, std::uint32_t, std::uint32_t), std::uint32_t K, bool kLoad>
[[gnu::always_inline]] inline void Sha1Five(std::uint32_t (&v)[5], std::uint32_t* w, const unsigned char* block, int t)
{
    auto word = [&](int i) {
        if constexpr (kLoad) return w[i] = Be32(block + 4 * i);
        else return Sha1Word(w, i);
    };
    Sha1Round<F, K>(v[0], v[1], v[2], v[3], v[4], word(t));
    Sha1Round<F, K>(v[4], v[0], v[1], v[2], v[3], word(t + 1));
    Sha1Round<F, K>(v[3], v[4], v[0], v[1], v[2], word(t + 2));
    Sha1Round<F, K>(v[2], v[3], v[4], v[0], v[1], word(t + 3));
    Sha1Round<F, K>(v[1], v[2], v[3], v[4], v[0], word(t + 4));
}

void Sha1Blocks(std::uint32_t* state, const unsigned char* data, std::size_t count)
{
    constexpr std::uint32_t k0 = 0x5a827999, k1 = 0x6ed9eba1, k2 = 0x8f1bbcdc, k3 = 0xca62c1d6;
    for (; count; --count, data += 64) {
        std::uint32_t w[16];
        std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
        Sha1Five<Ch, k0, true>(v, w, data, 0);
        Sha1Five<Ch, k0, true>(v, w, data, 5);
        Sha1Five<Ch, k0, true>(v, w, data, 10);
        Sha1Round<Ch, k0>(v[0], v[1], v[2], v[3], v[4], w[15] = Be32(data + 60));
        Sha1Round<Ch, k0>(v[4], v[0], v[1], v[2], v[3], Sha1Word(w, 16));
        Sha1Round<Ch, k0>(v[3], v[4], v[0], v[1], v[2], Sha1Word(w, 17));
        Sha1Round<Ch, k0>(v[2], v[3], v[4], v[0], v[1], Sha1Word(w, 18));
        Sha1Round<Ch, k0>(v[1], v[2], v[3], v[4], v[0], Sha1Word(w, 19));
#pragma GCC unroll 4
        for (int t = 20; t < 40; t += 5) Sha1Five<Parity, k1, false>(v, w, data, t);
#pragma GCC unroll 4
        for (int t = 40; t < 60; t += 5) Sha1Five<Maj, k2, false>(v, w, data, t);
#pragma GCC unroll 4
        for (int t = 60; t < 80; t += 5) Sha1Five<Parity, k3, false>(v, w, data, t);
        for (int i = 0; i < 5; ++i) state[i] += v[i];
    }
}

// SHA-256 (FIPS 180-4, 6.2.2), its eight working variables passed in turn
// as SHA-1's are.
constexpr std::uint32_t kSha256K[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline std::uint32_t Sha256Word(std::uint32_t* w, int t)
{
    const std::uint32_t w15 = w[(t + 1) & 15], w2 = w[(t + 14) & 15];
    const std::uint32_t s0 = Rotr(w15, 7) ^ Rotr(w15, 18) ^ (w15 >> 3);
    const std::uint32_t s1 = Rotr(w2, 17) ^ Rotr(w2, 19) ^ (w2 >> 10);
    return w[t & 15] += s0 + w[(t + 9) & 15] + s1;
}

[[gnu::always_inline]] inline void Sha256Round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d, std::uint32_t e,
                        std::uint32_t f, std::uint32_t g, std::uint32_t& h, std::uint32_t kw)
{
    const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + Ch(e, f, g) + kw;
    d += t1;
    h = t1 + (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + Maj(a, b, c);
}

// Eight rounds, t to t + 7, after which the variables are back in their
// places.
template <bool kLoad>
[[gnu::always_inline]] inline void Sha256Eight(std::uint32_t (&v)[8], std::uint32_t* w, const unsigned char* block, int t)
{
    auto kw = [&](int i) {
        if constexpr (kLoad) return kSha256K[i] + (w[i] = Be32(block + 4 * i));
        else return kSha256K[i] + Sha256Word(w, i);
    };
    Sha256Round(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], kw(t));
    Sha256Round(v[7], v[0], v[1], v[2], v[3], v[4], v[5], v[6], kw(t + 1));
    Sha256Round(v[6], v[7], v[0], v[1], v[2], v[3], v[4], v[5], kw(t + 2));
    Sha256Round(v[5], v[6], v[7], v[0], v[1], v[2], v[3], v[4], kw(t + 3));
    Sha256Round(v[4], v[5], v[6], v[7], v[0], v[1], v[2], v[3], kw(t + 4));
    Sha256Round(v[3], v[4], v[5], v[6], v[7], v[0], v[1], v[2], kw(t + 5));
    Sha256Round(v[2], v[3], v[4], v[5], v[6], v[7], v[0], v[1], kw(t + 6));
    Sha256Round(v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[0], kw(t + 7));
}

void Sha256Blocks(std::uint32_t* state, const unsigned char* data, std::size_t count)
{
    for (; count; --count, data += 64) {
        std::uint32_t w[16];
        std::uint32_t v[8];
        for (int i = 0; i < 8; ++i) v[i] = state[i];
        Sha256Eight<true>(v, w, data, 0);
        Sha256Eight<true>(v, w, data, 8);
        for (int t = 16; t < 64; t += 8) Sha256Eight<false>(v, w, data, t);
        for (int i = 0; i < 8; ++i) state[i] += v[i];
    }
}

}  // namespace

Digest::Digest(DigestKind kind) : kind_(kind)
{
    Start();
}

void Digest::Start()
{
    static constexpr std::uint32_t kSha1[8] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0};
    static constexpr std::uint32_t kSha256[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(state_, kind_ == DigestKind::Sha1 ? kSha1 : kSha256, sizeof state_);
    length_ = 0;
    pendingSize_ = 0;
}

void Digest::Blocks(const unsigned char* data, std::size_t count)
{
    if (kind_ == DigestKind::Sha1) {
        Sha1Blocks(state_, data, count);
    } else {
        Sha256Blocks(state_, data, count);
    }
}

void Digest::Update(const void* data, std::size_t size)
{
    auto bytes = static_cast<const unsigned char*>(data);
    length_ += size;
    if (pendingSize_) {
        const std::size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, bytes, take);
        pendingSize_ += take;
        bytes += take;
        size -= take;
        if (pendingSize_ < 64) return;
        Blocks(pending_, 1);
        pendingSize_ = 0;
    }
    // Whole blocks straight from the caller's bytes.
    Blocks(bytes, size / 64);
    pendingSize_ = size % 64;
    if (pendingSize_) std::memcpy(pending_, bytes + size - pendingSize_, pendingSize_);
}

std::string Digest::Final()
{
    // 0x80, zeros up to 8 bytes before a block's end, the length in bits.
    const std::uint64_t bits = length_ * 8;
    unsigned char tail[72] = {0x80};
    const std::size_t zeros = (119 - pendingSize_) % 64;
    for (int i = 0; i < 8; ++i) tail[1 + zeros + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Update(tail, 1 + zeros + 8);

    unsigned char out[32];
    const std::size_t size = Size(kind_);
    for (std::size_t i = 0; i < size / 4; ++i) PutBe32(out + 4 * i, state_[i]);
    Start();
    return std::string(reinterpret_cast<const char*>(out), size);
}

namespace {

// Little-endian fields of the file; the caller has checked that they lie
// inside it.
std::uint32_t Le16(std::string_view file, std::uint64_t at)
{
    const auto p = reinterpret_cast<const unsigned char*>(file.data()) + at;
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8;
}

std::uint32_t Le32(std::string_view file, std::uint64_t at)
{
    const auto p = reinterpret_cast<const unsigned char*>(file.data()) + at;
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

}  // namespace

std::optional<std::vector<ByteRange>> AuthenticodeRanges(std::string_view file)
{
    // Offsets are 64-bit, so that no field of 32 bits added to another can
    // wrap, and each is compared with the size before it is read.
    const std::uint64_t size = file.size();
    constexpr std::uint64_t kNewHeaderField = 0x3C;  // e_lfanew, the PE header's offset
    if (size < kNewHeaderField + 4 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
    const std::uint64_t pe = Le32(file, kNewHeaderField);
    // The signature "PE\0\0", the file header (20 bytes), then the optional
    // header, which starts with its magic.
    const std::uint64_t optional = pe + 4 + 20;
    if (optional + 2 > size || file.substr(static_cast<std::size_t>(pe), 4) != std::string_view("PE\0\0", 4)) {
        return std::nullopt;
    }
    const std::uint32_t optionalSize = Le16(file, pe + 4 + 16);
    std::uint64_t directories;  // in the optional header
    switch (Le16(file, optional)) {
        case 0x10b: directories = 96; break;   // PE32
        case 0x20b: directories = 112; break;  // PE32+
        default: return std::nullopt;
    }
    constexpr std::uint64_t kCheckSum = 64, kSecurity = 4, kEntrySize = 8;
    const std::uint64_t entriesEnd = directories + (kSecurity + 1) * kEntrySize;
    if (optionalSize < entriesEnd || optional + entriesEnd > size) return std::nullopt;
    if (Le32(file, optional + directories - 4) <= kSecurity) return std::nullopt;  // NumberOfRvaAndSizes

    const std::uint64_t checkSum = optional + kCheckSum;
    const std::uint64_t entry = optional + directories + kSecurity * kEntrySize;
    // The certificate table's entry holds a file offset, not an address.
    const std::uint64_t tableOffset = Le32(file, entry), tableSize = Le32(file, entry + 4);
    std::uint64_t end = size;
    if (tableSize) {
        if (tableOffset < entry + kEntrySize || tableOffset + tableSize != size) return std::nullopt;
        end = tableOffset;
    }
    auto range = [](std::uint64_t from, std::uint64_t to) {
        return ByteRange{static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)};
    };
    return std::vector<ByteRange>{range(0, checkSum), range(checkSum + 4, entry), range(entry + kEntrySize, end)};
}

std::string FileDigest(std::string_view file, DigestKind kind, bool& image)
{
    Digest digest(kind);
    const auto ranges = AuthenticodeRanges(file);
    image = ranges.has_value();
    if (ranges) {
        for (const ByteRange& range : *ranges) digest.Update(file.substr(range.offset, range.size));
    } else {
        digest.Update(file);
    }
    return digest.Final();
}

std::string HexOf(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

}  // namespace setup::check
