// A check through each proxy kind against the same request by libcurl
// through the same proxy, interleaved in one run: N sequential POSTs of the
// check's four form fields to nginx on 127.0.0.1, a fresh component object
// and a fresh curl easy handle each time. The proxies are those of the tests'
// fixture (tinyproxy, microsocks, dante, our Python SOCKS4a server).
//   proxy_bench [N=300]
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

struct Proxies {
    std::map<std::string, std::string> env;
    Proxies() {
        const std::string start = std::string("bash ") + ORBENIX_PROXIES_FIXTURE + " start " + ORBENIX_BENCH_STATE + " >/dev/null";
        if (std::system(start.c_str()) != 0) throw std::runtime_error("proxy fixture did not start");
        std::ifstream file(std::string(ORBENIX_BENCH_STATE) + "/proxies.env");
        for (std::string line; std::getline(file, line);) {
            if (const auto eq = line.find('='); eq != std::string::npos) env[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    ~Proxies() {
        const std::string stop = std::string("bash ") + ORBENIX_PROXIES_FIXTURE + " stop " + ORBENIX_BENCH_STATE;
        if (std::system(stop.c_str()) != 0) std::fprintf(stderr, "proxy fixture did not stop\n");
    }
};

struct Way {
    const char* name;
    std::int32_t kind;       // ours
    const char* curl_scheme;  // "http", "socks4", "socks4a", "socks5"
    bool tunnel;             // curl: CONNECT also for http targets
    std::string port;
    bool auth;
    bool https;
};

const char* const kFields = "key=0123456789abcdef&hash=fedcba9876543210fedcba9876543210&action=info&status=true";

void OurRequest(const Way& way, const std::string& url) {
    QuietEvents events;
    auto c = http::CreateHttpComponent(events);
    c->SetLogin(u"");
    c->SetBlocking(true);
    c->SetFollowRedirects(true);
    c->AddHeader(u"Pragma", Variant(u"no-cache"));
    c->AddHeader(u"User-Agent", Variant(u"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)"));
    c->SetHttpVersion(u"HTTP/1.1");
    c->SetProxyKind(way.kind);
    c->SetProxyHost(u"127.0.0.1");
    c->SetProxyPort(std::stoi(way.port));
    c->SetProxyAuthentication(way.auth ? 1 : 0);
    if (way.auth) {
        c->SetProxyUsername(u"pxuser");
        c->SetProxyPassword(u"secret");
    }
    c->SetUrl(TextFromUtf8(url));
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

void CurlRequest(const Way& way, const std::string& url) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
    std::string body;
    const std::string proxy = std::string(way.curl_scheme) + "://127.0.0.1:" + way.port;
    curl_slist* headers = curl_slist_append(nullptr, "Pragma: no-cache");
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_HTTPPROXYTUNNEL, way.tunnel ? 1L : 0L);
    if (way.auth) curl_easy_setopt(curl.get(), CURLOPT_PROXYUSERPWD, "pxuser:secret");
    curl_easy_setopt(curl.get(), CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl.get(), CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)");
    curl_easy_setopt(curl.get(), CURLOPT_POSTFIELDS, kFields);
    curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_SSL_VERIFYHOST, 0L);
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

void Compare(const Way& way, const std::string& url, int n) {
    for (int i = 0; i < 10; ++i) {
        OurRequest(way, url);
        CurlRequest(way, url);
    }
    std::vector<double> ours, curl;
    for (int i = 0; i < n; ++i) {
        double a = 0, b = 0;
        if (i % 2 == 0) {
            a = Timed([&] { OurRequest(way, url); });
            b = Timed([&] { CurlRequest(way, url); });
        } else {
            b = Timed([&] { CurlRequest(way, url); });
            a = Timed([&] { OurRequest(way, url); });
        }
        ours.push_back(a);
        curl.push_back(b);
    }
    std::printf("%-34s n=%d  ours median %8.1f us   libcurl median %8.1f us   ratio %.3f\n", way.name, n,
                Median(ours), Median(curl), Median(ours) / Median(curl));
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 300;
    try {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        Proxies proxies;
        const auto& env = proxies.env;
        const std::vector<Way> ways = {
            {"web standard (tinyproxy), http", 3, "http", true, env.at("web"), false, false},
            {"web standard + auth, https", 3, "http", true, env.at("webauth"), true, true},
            {"relay (tinyproxy), http", 4, "http", false, env.at("web"), false, false},
            {"relay + auth (tinyproxy), http", 4, "http", false, env.at("webauth"), true, false},
            {"SOCKS5 (microsocks), http", 2, "socks5", false, env.at("socks"), false, false},
            {"SOCKS5 + auth (microsocks), https", 2, "socks5", false, env.at("socksauth"), true, true},
            {"SOCKS5 (dante), http", 2, "socks5", false, env.at("dante"), false, false},
            {"SOCKS4 (dante), http", 1, "socks4", false, env.at("dante"), false, false},
            {"SOCKS4a (ours, Python), http", 5, "socks4a", false, env.at("socks_own"), false, false},
        };
        for (const Way& way : ways) {
            const std::string url = way.https ? "https://127.0.0.1:" + env.at("panel_https") + "/api/client/command.php"
                                              : "http://127.0.0.1:" + env.at("panel_http") + "/api/client/command.php";
            Compare(way, url, n);
        }
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
