#pragma once
// The documents directory as the XDG user-directories file names it.
#include <string>
#include <string_view>

namespace orbenix {

// `user_dirs` is the content of user-dirs.dirs (may be empty). Its
// XDG_DOCUMENTS_DIR="..." line wins ("$HOME" at its start expands to `home`);
// otherwise `home` + "/Documents"; "" when there is no home either.
std::string XdgDocumentsDir(std::string_view user_dirs, const std::string& home);

}  // namespace orbenix
