// glfx_pipl_bytes OUTPUT: writes the property resource's bytes, the same that the ELF build carries
// in its section, to OUTPUT for the Windows resource script that includes them. Built for the
// build machine; a cross build runs the native build's copy.
#include "resources/PropertyResource.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glfx_pipl_bytes OUTPUT\n");
        return 2;
    }
    constexpr glfx::PropertyResourceBytes bytes =
        glfx::buildPropertyResource(glfx::kDefaultEffectName, glfx::kDefaultCategory);
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "glfx_pipl_bytes: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
