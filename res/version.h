// The tool's version as every program prints it for --version.
#pragma once

#include <string>

namespace res {

// "upgrade-cli 1.1.0 (commit 0123456789ab)": the program's name, the project's version and,
// when it was built from a git checkout, the commit.
std::string VersionLine(const char* program);

// The project's version alone ("1.1.0").
const char* ProjectVersion();

}  // namespace res
