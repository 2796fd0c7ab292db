#include "cli/arguments.h"
#include "core/utf8.h"

namespace orbenix::cli {

std::vector<std::u16string> CommandLineArguments(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(TextFromUtf8(argv[i]));
    return args;
}

}  // namespace orbenix::cli
