// A check through each proxy kind against the same request by libcurl
// through the same proxy, interleaved in one run: N sequential POSTs of the
// check's four form fields to nginx on 127.0.0.1, a fresh component object
// and a fresh curl easy handle each time. The proxies are those of the tests'
// fixture (tinyproxy, microsocks, dante, our Python SOCKS4a server).
//   proxy_bench [N=300]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"

namespace {

using namespace orbenix;

struct Way {
    const char* name;
    std::int32_t kind;       // ours
    const char* curl_scheme;  // "http", "socks4", "socks4a", "socks5"
    bool tunnel;             // curl: CONNECT also for http targets
    std::string port;
    bool auth;
    bool https;
};

void OurRequest(const Way& way, const std::string& url) {
    bench::QuietEvents events;
    auto c = http::CreateHttpComponent(events);
    bench::PrepareCheckRequest(*c, url);
    c->SetProxyKind(way.kind);
    c->SetProxyHost(u"127.0.0.1");
    c->SetProxyPort(std::stoi(way.port));
    c->SetProxyAuthentication(way.auth ? 1 : 0);
    if (way.auth) {
        c->SetProxyUsername(u"pxuser");
        c->SetProxyPassword(u"secret");
    }
    bench::SendAndExpectOk(*c);
}

void CurlRequest(const Way& way, const std::string& url) {
    bench::CurlCheckRequest request(url);
    CURL* curl = request.curl.get();
    const std::string proxy = std::string(way.curl_scheme) + "://127.0.0.1:" + way.port;
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, way.tunnel ? 1L : 0L);
    if (way.auth) curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, "pxuser:secret");
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    request.PerformAndExpectOk();
}

void Compare(const Way& way, const std::string& url, int n) {
    const auto m = bench::CompareInterleaved([&] { OurRequest(way, url); }, [&] { CurlRequest(way, url); }, n, 10);
    std::printf("%-34s n=%d  ours median %8.1f us   libcurl median %8.1f us   ratio %.3f\n", way.name, n, m.ours,
                m.curl, m.ours / m.curl);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 300;
    try {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        bench::FixturePeers proxies(ORBENIX_PROXIES_FIXTURE, ORBENIX_BENCH_STATE, "proxies.env");
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
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
