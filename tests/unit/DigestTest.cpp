// The hashes the checker compares with a catalog's: SHA-1 and SHA-256 on
// the examples of FIPS 180-4.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "check/Digest.h"

namespace setup::check {
namespace {

TEST(Digest, FipsExamplesGivenInPiecesOfAnySize)
{
    const std::string abc = "abc";
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string million(1000000, 'a');
    const std::vector<std::size_t> whole = {0}, bytes = {1}, odd = {1, 63, 64, 65, 127, 4099, 7};
    struct Case {
        DigestKind kind;
        const std::string& message;
        const std::vector<std::size_t>& pieces;  // sizes, taken in turn; 0: all at once
        const char* expected;
    };
    const Case cases[] = {
        {DigestKind::Sha1, "", whole, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {DigestKind::Sha1, abc, bytes, "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {DigestKind::Sha1, twoBlocks, odd, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {DigestKind::Sha1, million, odd, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {DigestKind::Sha256, "", whole, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {DigestKind::Sha256, abc, bytes, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {DigestKind::Sha256, twoBlocks, odd, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {DigestKind::Sha256, million, odd, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const Case& c = cases[row];
        Digest digest(c.kind);
        for (std::size_t at = 0, i = 0; at < c.message.size(); ++i) {
            const std::size_t piece = c.pieces[i % c.pieces.size()] ? c.pieces[i % c.pieces.size()] : c.message.size();
            digest.Update(c.message.data() + at, std::min(piece, c.message.size() - at));
            at += piece;
        }
        EXPECT_EQ(HexOf(digest.Final()), c.expected) << "row " << row;
        // Final starts the object over.
        digest.Update(c.message);
        EXPECT_EQ(HexOf(digest.Final()), c.expected) << "row " << row << ", again";
    }
}

}  // namespace
}  // namespace setup::check
