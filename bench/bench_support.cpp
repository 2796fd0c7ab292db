#include "bench/bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "core/utf8.h"
#include "core/variant.h"

namespace orbenix::bench {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kFields = "key=0123456789abcdef&hash=fedcba9876543210fedcba9876543210&action=info&status=true";
const char* const kUserAgent = "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)";

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* into) {
    static_cast<std::string*>(into)->append(data, size * count);
    return size * count;
}

double TimedMicros(const std::function<void()>& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

FixturePeers::FixturePeers(std::string script, std::string state_dir, const std::string& env_file)
    : script_(std::move(script)), state_dir_(std::move(state_dir)) {
    const std::string start = "bash " + script_ + " start " + state_dir_ + " >/dev/null";
    if (std::system(start.c_str()) != 0) throw std::runtime_error(script_ + " did not start");
    std::ifstream file(state_dir_ + "/" + env_file);
    for (std::string line; std::getline(file, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
    }
}

FixturePeers::~FixturePeers() {
    const std::string stop = "bash " + script_ + " stop " + state_dir_;
    if (std::system(stop.c_str()) != 0) std::fprintf(stderr, "%s did not stop\n", script_.c_str());
}

void PrepareCheckRequest(http::HttpComponent& c, const std::string& url) {
    c.SetLogin(u"");
    c.SetBlocking(true);
    c.SetFollowRedirects(true);
    c.AddHeader(u"Pragma", Variant(u"no-cache"));
    c.AddHeader(u"User-Agent", Variant(TextFromUtf8(kUserAgent)));
    c.SetHttpVersion(u"HTTP/1.1");
    c.SetUrl(TextFromUtf8(url));
    c.ClearFormFields();
    c.AddFormField(u"key", Variant(u"0123456789abcdef"));
    c.AddFormField(u"hash", Variant(u"fedcba9876543210fedcba9876543210"));
    c.AddFormField(u"action", Variant(u"info"));
    c.AddFormField(u"status", Variant(u"true"));
}

void SendAndExpectOk(http::HttpComponent& c) {
    c.Send();
    if (c.StatusCode() != 200 || c.Body().empty()) throw std::runtime_error("unexpected answer (ours)");
}

CurlCheckRequest::CurlCheckRequest(const std::string& url)
    : curl(curl_easy_init(), curl_easy_cleanup), headers(curl_slist_append(nullptr, "Pragma: no-cache")) {
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, kFields);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
}

CurlCheckRequest::~CurlCheckRequest() { curl_slist_free_all(headers); }

void CurlCheckRequest::PerformAndExpectOk() {
    const CURLcode result = curl_easy_perform(curl.get());
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (result != CURLE_OK || status != 200 || body.empty()) throw std::runtime_error(curl_easy_strerror(result));
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

Medians CompareInterleaved(const std::function<void()>& ours, const std::function<void()>& curl, int n,
                           int warm_up) {
    for (int i = 0; i < warm_up; ++i) {  // caches, first connections
        ours();
        curl();
    }
    std::vector<double> a, b, ratios;
    for (int i = 0; i < n; ++i) {
        double x = 0, y = 0;
        if (i % 2 == 0) {
            x = TimedMicros(ours);
            y = TimedMicros(curl);
        } else {
            y = TimedMicros(curl);
            x = TimedMicros(ours);
        }
        a.push_back(x);
        b.push_back(y);
        ratios.push_back(x / y);
    }
    return {Median(a), Median(b), Median(ratios)};
}

}  // namespace orbenix::bench
