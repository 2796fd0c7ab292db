#pragma once
// The command line of orbenix-check, parsed into a value. Parsing never exits:
// it returns an error text for the usage message instead.
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orbenix::cli {

struct Options {
    std::u16string parameter;
    std::optional<std::u16string> timeout;   // omitted: qv_timeout stays Empty
    std::optional<std::u16string> hostname;
    bool json = false;
    bool help = false;
};

struct ArgumentError {
    std::string message;
};

std::variant<Options, ArgumentError> ParseArguments(const std::vector<std::u16string>& args);

// The program's arguments (without the program name) as UTF-16 text.
std::vector<std::u16string> CommandLineArguments(int argc, char** argv);

extern const char* const kUsage;

}  // namespace orbenix::cli
