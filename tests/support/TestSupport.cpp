#include "support/TestSupport.h"

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sys/wait.h>

namespace testsupport {

TempDir::TempDir() {
    std::random_device rd;
    std::mt19937_64 gen(rd());
    auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("tessaron-test-" + std::to_string(gen()));
        std::error_code ec;
        if (std::filesystem::create_directories(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::filesystem::path dataDir() {
#ifdef TESSARON_TEST_DATA
    return TESSARON_TEST_DATA;
#else
    return "tests/data";
#endif
}

int runCommand(const std::string& command, std::string* out) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        if (out) out->append(buf, n);
    int status = pclose(pipe);
    if (status == -1) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool haveTool(const std::string& name) {
    return runCommand("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

}  // namespace testsupport
