#pragma once
// What the benchmarks share: the check's request made by our component and by
// libcurl, the test peers' fixture scripts, and interleaved timing.
#include <curl/curl.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/http/http_component.h"

namespace orbenix::bench {

// Events of a benchmark run: every certificate accepted, nothing logged.
class QuietEvents final : public http::HttpEvents {
public:
    void Done(std::int32_t, const std::u16string&) override {}
    void Disconnected(std::int32_t, const std::u16string&) override {}
    void HostCertificate(const http::Certificate&, std::int32_t, const std::u16string&, bool& accept) override {
        accept = true;
    }
    void Redirect(std::u16string&, bool&) override {}
};

// A tests' fixture script ("start DIR" / "stop DIR") started for the run; its
// NAME=VALUE file (ports, CA file) is read into `env`.
class FixturePeers {
public:
    FixturePeers(std::string script, std::string state_dir, const std::string& env_file);
    ~FixturePeers();
    FixturePeers(const FixturePeers&) = delete;
    FixturePeers& operator=(const FixturePeers&) = delete;
    std::map<std::string, std::string> env;

private:
    std::string script_;
    std::string state_dir_;
};

// Sets up the check's request on a fresh component (options, the two headers,
// HTTP/1.1, the URL and the four form fields); the caller adds proxy settings
// and sends.
void PrepareCheckRequest(http::HttpComponent& component, const std::string& url);
// Sends and insists on a 200 with a body.
void SendAndExpectOk(http::HttpComponent& component);

using CurlHandle = std::unique_ptr<CURL, decltype(&curl_easy_cleanup)>;
// The same request as a fresh curl easy handle; the caller adds options and
// hands it to PerformAndExpectOk.
struct CurlCheckRequest {
    explicit CurlCheckRequest(const std::string& url);
    ~CurlCheckRequest();
    CurlCheckRequest(const CurlCheckRequest&) = delete;
    CurlCheckRequest& operator=(const CurlCheckRequest&) = delete;
    void PerformAndExpectOk();

    CurlHandle curl;
    curl_slist* headers = nullptr;
    std::string body;
};

double Median(std::vector<double> values);

struct Medians {
    double ours = 0;
    double curl = 0;
    double pair_ratio = 0;  // median of the per-pair ratios
};

// `warm_up` pairs first, then `n` interleaved pairs, alternating which goes
// first so neither always meets a warmer server; microseconds.
Medians CompareInterleaved(const std::function<void()>& ours, const std::function<void()>& curl, int n,
                           int warm_up);

}  // namespace orbenix::bench
