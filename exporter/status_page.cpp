#include "exporter/status_page.h"

namespace orbenix::exporter {

std::string EscapeHtml(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string StatusPage(const ExporterConfig& config) {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>orbenix-exporter</title></head><body>\n"
        "<h1>orbenix-exporter</h1>\n<p>Probes the status of virtual servers on SolusVM panels.</p>\n"
        "<h2>Targets</h2>\n<ul>\n";
    for (const Target& target : config.targets) {
        const std::string name = EscapeHtml(target.name);
        page += "<li><a href=\"probe?target=" + name + "\">" + name + "</a></li>\n";
    }
    page += "</ul>\n<p><a href=\"metrics\">The exporter's own metrics</a></p>\n</body></html>\n";
    return page;
}

}  // namespace orbenix::exporter
