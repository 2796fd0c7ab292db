#pragma once
#include <string>

namespace orbenix::cli {

// "orbenix-check version 1.0 build 5" and a line feed: the component's version.
std::string VersionText();
// The --help text: usage, options, states and examples.
std::string HelpText();

}  // namespace orbenix::cli
