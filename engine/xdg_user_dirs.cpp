#include "engine/xdg_user_dirs.h"

namespace orbenix {
namespace {

// The quoted value of `line` if it is `XDG_DOCUMENTS_DIR="..."`.
bool DocumentsValue(std::string_view line, std::string& value) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    constexpr std::string_view key = "XDG_DOCUMENTS_DIR=\"";
    if (line.substr(0, key.size()) != key) return false;
    line.remove_prefix(key.size());
    value.clear();
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') return true;
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value.push_back(line[i]);
    }
    return false;  // unterminated quote: ignore the line
}

}  // namespace

std::string XdgDocumentsDir(std::string_view user_dirs, const std::string& home) {
    std::string found;
    bool have = false;
    while (!user_dirs.empty()) {
        const std::size_t end = user_dirs.find('\n');
        const std::string_view line = user_dirs.substr(0, end);
        user_dirs.remove_prefix(end == std::string_view::npos ? user_dirs.size() : end + 1);
        std::string value;
        if (DocumentsValue(line, value)) {
            found = value;
            have = true;
        }
    }
    if (have) {
        if (found.rfind("$HOME", 0) == 0) {
            if (home.empty()) have = false;
            else found = home + found.substr(5);
        } else if (found.empty() || found.front() != '/') {
            have = false;  // only absolute paths or $HOME-relative ones are valid
        }
    }
    if (!have) {
        if (home.empty()) return "";
        found = home + "/Documents";
    }
    while (found.size() > 1 && found.back() == '/') found.pop_back();
    return found;
}

}  // namespace orbenix
