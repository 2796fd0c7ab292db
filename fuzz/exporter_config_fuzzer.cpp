// The exporter's configuration reader on any text: it either gives a
// configuration or errors that each name the file and a line, and never
// crashes. The files a target names come from a small table.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "exporter/exporter_config.h"

namespace {

using namespace orbenix::exporter;

FileContents FakeFile(const std::string& path) {
    FileContents file;
    if (path.find("missing") != std::string::npos) {
        file.error = "cannot open " + path + ": No such file or directory";
    } else if (path.find("parameter") != std::string::npos) {
        file.bytes = "#URL=http://127.0.0.1:1#KEY=k#HSH=h#\n";
    } else if (path.find("lines") != std::string::npos) {
        file.bytes = "a\nb\n";
    } else {
        file.bytes = "s3cret\n";
    }
    file.others_can_read = path.find("open") != std::string::npos;
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto read = ParseConfig(text, "fuzz.toml", FakeFile);
    if (const auto* errors = std::get_if<ConfigErrors>(&read)) {
        if (errors->empty()) std::abort();
        for (const std::string& error : *errors) {
            if (!error.starts_with("fuzz.toml:")) std::abort();
        }
    } else {
        const auto& config = std::get<ExporterConfig>(read);
        if (config.targets.empty() || config.max_concurrent_probes < 1) std::abort();
        for (const Target& target : config.targets) {
            if (config.Find(target.name) == nullptr) std::abort();
        }
    }
    return 0;
}
