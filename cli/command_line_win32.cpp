// Windows hands the command line over as UTF-16; argv would lose what the
// ANSI code page cannot hold.
#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "cli/arguments.h"

namespace orbenix::cli {

std::vector<std::u16string> CommandLineArguments(int, char**) {
    int count = 0;
    struct LocalFreer {
        void operator()(LPWSTR* p) const { LocalFree(p); }
    };
    std::unique_ptr<LPWSTR, LocalFreer> argv(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::u16string> args;
    for (int i = 1; argv && i < count; ++i) {
        args.emplace_back(reinterpret_cast<const char16_t*>(argv.get()[i]));
    }
    return args;
}

}  // namespace orbenix::cli
