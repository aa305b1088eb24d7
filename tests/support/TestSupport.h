#pragma once
// Small helpers shared by the test programs.
#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the test temporary folder, removed when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Folder of the committed test fixtures.
std::filesystem::path dataDir();

// Runs a shell command, returns its exit status; stdout goes to *out when given.
int runCommand(const std::string& command, std::string* out = nullptr);

// True when an external program is on PATH (interoperability tests skip
// themselves, loudly, only when the tool is truly missing).
bool haveTool(const std::string& name);

}  // namespace testsupport
