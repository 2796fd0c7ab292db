// Our HTTP component against libcurl: N sequential POSTs of the check's four
// form fields to nginx on 127.0.0.1, each through a fresh component object
// (as every check does) and a fresh curl easy handle, interleaved, over HTTP
// and HTTPS (RSA-2048, verified against the fixture's private CA). Then the
// process RSS before and after 10,000 requests of ours.
//   http_bench [N=1000] [RSS_REQUESTS=10000]
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "component/error.h"
#include "engine/http/http_component.h"
#include "params/utf8.h"

namespace {

using namespace orbenix;
using Clock = std::chrono::steady_clock;

class QuietEvents final : public http::HttpEvents {
public:
    void Done(std::int32_t, const std::u16string&) override {}
    void Disconnected(std::int32_t, const std::u16string&) override {}
    void HostCertificate(const http::Certificate&, std::int32_t, const std::u16string&, bool& accept) override {
        accept = true;
    }
    void Redirect(std::u16string&, bool&) override {}
};

struct Nginx {
    std::map<std::string, std::string> env;
    Nginx() {
        const std::string start = std::string("bash ") + ORBENIX_NGINX_FIXTURE + " start " + ORBENIX_BENCH_STATE + " >/dev/null";
        if (std::system(start.c_str()) != 0) throw std::runtime_error("nginx fixture did not start");
        std::ifstream file(std::string(ORBENIX_BENCH_STATE) + "/nginx.env");
        for (std::string line; std::getline(file, line);) {
            if (const auto eq = line.find('='); eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    ~Nginx() {
        const std::string stop = std::string("bash ") + ORBENIX_NGINX_FIXTURE + " stop " + ORBENIX_BENCH_STATE;
        if (std::system(stop.c_str()) != 0) std::fprintf(stderr, "nginx fixture did not stop\n");
    }
};

const char* const kFields = "key=0123456789abcdef&hash=fedcba9876543210fedcba9876543210&action=info&status=true";

void OurRequest(const std::string& url, const std::string& ca_file) {
    QuietEvents events;
    auto c = http::CreateHttpComponent(events);
    c->SetLogin(u"");
    c->SetBlocking(true);
    c->SetFollowRedirects(true);
    c->AddHeader(u"Pragma", Variant(u"no-cache"));
    c->AddHeader(u"User-Agent", Variant(u"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"));
    c->SetHttpVersion(u"HTTP/1.1");
    c->SetProxyKind(0);
    c->SetUrl(TextFromUtf8(url));
    c->SetCaFile(ca_file);
    c->ClearFormFields();
    c->AddFormField(u"key", Variant(u"0123456789abcdef"));
    c->AddFormField(u"hash", Variant(u"fedcba9876543210fedcba9876543210"));
    c->AddFormField(u"action", Variant(u"info"));
    c->AddFormField(u"status", Variant(u"true"));
    c->Send();
    if (c->StatusCode() != 200 || c->Body().empty()) throw std::runtime_error("unexpected answer (ours)");
}

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* into) {
    static_cast<std::string*>(into)->append(data, size * count);
    return size * count;
}

void CurlRequest(const std::string& url, const std::string& ca_file) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    std::string body;
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)");
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, kFields);
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, ca_file.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl.get(), CURLOPT_TIMEOUT, 60L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    const CURLcode result = curl_easy_perform(curl.get());
    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    curl_slist_free_all(headers);
    if (result != CURLE_OK || status != 200 || body.empty()) throw std::runtime_error(curl_easy_strerror(result));
}

double Micros(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : (v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2);
}

template <typename F>
double Timed(F&& f) {
    const auto start = Clock::now();
    f();
    return Micros(Clock::now() - start);
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

void Compare(const char* name, const std::string& url, const std::string& ca_file, int n) {
    for (int i = 0; i < 20; ++i) {  // warm-up: caches, first connections
        OurRequest(url, ca_file);
        CurlRequest(url, ca_file);
    }
    std::vector<double> ours, curl, ratios;
    for (int i = 0; i < n; ++i) {
        // Alternate which goes first so neither always meets a warmer server.
        double a = 0, b = 0;
        if (i % 2 == 0) {
            a = Timed([&] { OurRequest(url, ca_file); });
            b = Timed([&] { CurlRequest(url, ca_file); });
        } else {
            b = Timed([&] { CurlRequest(url, ca_file); });
            a = Timed([&] { OurRequest(url, ca_file); });
        }
        ours.push_back(a);
        curl.push_back(b);
        ratios.push_back(a / b);
    }
    std::printf("%-6s n=%d  ours median %8.1f us   libcurl median %8.1f us   ratio of medians %.3f   median pair ratio %.3f\n",
                name, n, Median(ours), Median(curl), Median(ours) / Median(curl), Median(ratios));
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rss_requests = argc > 2 ? std::atoi(argv[2]) : 10000;
    try {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        Nginx nginx;
        const std::string ca = nginx.env.at("ca_file");
        const std::string http_url = "http://127.0.0.1:" + nginx.env.at("http") + "/api/client/command.php";
        const std::string https_url = "https://127.0.0.1:" + nginx.env.at("good") + "/api/client/command.php";
        Compare("HTTP", http_url, ca, n);
        Compare("HTTPS", https_url, ca, n);

        for (int i = 0; i < 200; ++i) OurRequest(https_url, ca);
        const long before = RssKiB();
        for (int i = 0; i < rss_requests; ++i) OurRequest(i % 2 ? https_url : http_url, ca);
        const long after = RssKiB();
        std::printf("RSS    before %ld KiB, after %d requests of ours (half HTTPS) %ld KiB, growth %ld KiB\n", before,
                    rss_requests, after, after - before);
        curl_global_cleanup();
    } catch (const orbenix::Error& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
