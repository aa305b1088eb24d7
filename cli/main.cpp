#include <cstdio>
#include <cstring>

#include "imaging/Version.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tessaron-cli %s\n", tessaron::versionString().c_str());
        return 0;
    }
    std::printf("Usage: tessaron-cli --version\n");
    return argc >= 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
}
