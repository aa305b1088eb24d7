#include "imaging/Version.h"

namespace tessaron {
std::string versionString() { return TESSARON_VERSION; }
}  // namespace tessaron
