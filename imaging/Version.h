#pragma once
#include <string>

namespace tessaron {
// The program's version, as shown by the about box and the command-line tool.
std::string versionString();
}  // namespace tessaron
