#pragma once
// Where the demo panel of the test fixture listens (tests/support/demo_panel.py
// writes its ports to the file named by ORBENIX_DEMO_PANEL).
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace orbenix::testing {

struct DemoPanel {
    int http_port = 0;
    int https_port = 0;
    int closed_port = 0;
    bool ok() const { return http_port > 0 && https_port > 0; }
};

inline DemoPanel ReadDemoPanel() {
    const char* file = std::getenv("ORBENIX_DEMO_PANEL");
    if (file == nullptr) return {};
    std::string path = file;
#ifdef _WIN32
    if (!path.empty() && path.front() == '/') path = "Z:" + path;  // the Linux side under Wine
#endif
    std::ifstream in(path);
    std::map<std::string, int> values;
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
    }
    return {values["HTTP_PORT"], values["HTTPS_PORT"], values["CLOSED_PORT"]};
}

}  // namespace orbenix::testing
