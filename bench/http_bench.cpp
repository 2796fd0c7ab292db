// Our HTTP component against libcurl: N sequential POSTs of the check's four
// form fields to nginx on 127.0.0.1, each through a fresh component object
// (as every check does) and a fresh curl easy handle, interleaved, over HTTP
// and HTTPS (RSA-2048, verified against the fixture's private CA). Then the
// process RSS before and after 10,000 requests of ours.
//   http_bench [N=1000] [RSS_REQUESTS=10000]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/bench_support.h"

namespace {

using namespace orbenix;

void OurRequest(const std::string& url, const std::string& ca_file) {
    bench::QuietEvents events;
    auto c = http::CreateHttpComponent(events);
    bench::PrepareCheckRequest(*c, url);
    c->SetProxyKind(0);
    c->SetCaFile(ca_file);
    bench::SendAndExpectOk(*c);
}

void CurlRequest(const std::string& url, const std::string& ca_file) {
    bench::CurlCheckRequest request(url);
    curl_easy_setopt(request.curl.get(), CURLOPT_CAINFO, ca_file.c_str());
    curl_easy_setopt(request.curl.get(), CURLOPT_FOLLOWLOCATION, 1L);
    request.PerformAndExpectOk();
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

void Compare(const char* name, const std::string& url, const std::string& ca_file, int n) {
    const auto m = bench::CompareInterleaved([&] { OurRequest(url, ca_file); },
                                             [&] { CurlRequest(url, ca_file); }, n, 20);
    std::printf("%-6s n=%d  ours median %8.1f us   libcurl median %8.1f us   ratio of medians %.3f   median pair ratio %.3f\n",
                name, n, m.ours, m.curl, m.ours / m.curl, m.pair_ratio);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int rss_requests = argc > 2 ? std::atoi(argv[2]) : 10000;
    try {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        bench::FixturePeers nginx(ORBENIX_NGINX_FIXTURE, ORBENIX_BENCH_STATE, "nginx.env");
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
    } catch (const std::exception& e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
