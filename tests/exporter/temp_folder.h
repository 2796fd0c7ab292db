#pragma once
// A folder of its own for one test's files, removed with everything in it.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace orbenix::testing {

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "orbenix-exporter-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // Writes `name` in the folder with `mode` and returns its path.
    std::string Write(const std::string& name, const std::string& text, mode_t mode = 0600) const {
        const std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary | std::ios::trunc) << text;
        chmod(file.c_str(), mode);
        return file;
    }

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace orbenix::testing
