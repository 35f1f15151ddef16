// The only file that includes the generated version header, so that a new commit recompiles
// this file alone.
#include "res/version.h"

#include "upgrade_version.h"

namespace res {

std::string VersionLine(const char* program) { return std::string(program) + " " UPGRADE_VERSION_TEXT; }

const char* ProjectVersion() { return UPGRADE_VERSION; }

}  // namespace res
