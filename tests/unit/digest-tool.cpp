// The digest a catalog lists for each file given, from check/Digest, for the
// test that compares it with osslsigncode's (tests/image-digest-test) and to
// time the hashing. Not shipped.
//   digest-tool sha1|sha256 FILE...
// prints, per file, "<hex digest> image" for a program image (its
// Authenticode digest) or "<hex digest> file" (the hash of all its bytes).
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "check/Digest.h"

int main(int argc, char** argv)
{
    using namespace setup::check;
    if (argc < 3 || (std::strcmp(argv[1], "sha1") != 0 && std::strcmp(argv[1], "sha256") != 0)) {
        std::fprintf(stderr, "usage: digest-tool sha1|sha256 FILE...\n");
        return 2;
    }
    const DigestKind kind = std::strcmp(argv[1], "sha1") == 0 ? DigestKind::Sha1 : DigestKind::Sha256;
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary | std::ios::ate);
        const std::streamoff end = in ? std::streamoff(in.tellg()) : -1;
        std::string bytes(end > 0 ? static_cast<std::size_t>(end) : 0, '\0');
        if (end < 0 || !in.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
            std::fprintf(stderr, "digest-tool: cannot read %s\n", argv[i]);
            return 1;
        }
        bool image = false;
        const std::string digest = FileDigest(bytes, kind, image);
        std::printf("%s %s\n", HexOf(digest).c_str(), image ? "image" : "file");
    }
    return 0;
}
