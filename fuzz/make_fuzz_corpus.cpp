// make_fuzz_corpus DIR: writes the SMF test suite's sample images, valid and
// broken, into DIR as the starting corpus of the parser fuzz target.
#include <cstdio>
#include <string>

#include "SmfImages.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_corpus DIR\n");
        return 2;
    }
    int written = 0;
    for (const auto& [name, bytes] : SampleSmfImages()) {
        const std::string path = std::string(argv[1]) + "/" + name + ".mid";
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            if (f)
                std::fclose(f);
            return 1;
        }
        std::fclose(f);
        ++written;
    }
    std::printf("%d corpus files in %s\n", written, argv[1]);
    return 0;
}
