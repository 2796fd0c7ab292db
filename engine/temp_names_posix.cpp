// The documents folder from the XDG user directories, the local time from libc.
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

#include "core/utf8.h"
#include "engine/temp_names.h"
#include "engine/xdg_user_dirs.h"

namespace orbenix {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

std::u16string GetSpecialFolderLocation(std::int32_t csidl) {
    if (csidl != kCsidlPersonal) return u"";
    const std::string home = Environment("HOME");
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty() && !home.empty()) config = home + "/.config";
    const std::string user_dirs = config.empty() ? "" : ReadFile(config + "/user-dirs.dirs");
    return TextFromUtf8(XdgDocumentsDir(user_dirs, home));
}

LocalTime LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

}  // namespace orbenix
