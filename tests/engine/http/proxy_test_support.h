#pragma once
// Helpers of the proxy tests: scripted replies, reading a whole stream,
// catching the numbered error a call raises.
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/proxy.h"
#include "tests/support/socks_server.h"

namespace orbenix::test {

// One step of a scripted proxy: read exactly `expect` bytes, then answer.
struct Step {
    std::size_t expect = 0;
    std::string reply;
    bool close = false;  // close right after the reply
    bool stall = false;  // then say nothing until the test ends
};

inline ScriptedServer::Script StepScript(std::vector<Step> steps) {
    return [steps](TestSocket& client, ScriptedServer& server) {
        for (const auto& step : steps) {
            std::string got;
            if (step.expect > 0 && !client.ReadExact(got, step.expect, 5000)) return;
            if (!step.reply.empty() && !client.Write(step.reply)) return;
            if (step.close) return;
            if (step.stall) {
                server.WaitForStop(10000);
                return;
            }
        }
        // Echo what comes through the opened tunnel, for the tests of its first bytes.
        char buffer[256];
        const std::size_t got = client.ReadSome(buffer, sizeof buffer, 5000);
        if (got > 0) client.Write(std::string_view(buffer, got));
    };
}

// The HTTP proxy stand-in: reads the CONNECT header section and answers.
inline ScriptedServer::Script ConnectScript(std::string answer, bool stall = false) {
    return [answer, stall](TestSocket& client, ScriptedServer& server) {
        if (client.ReadUntil("\r\n\r\n", 64 * 1024, 5000).empty()) return;
        if (stall) {
            server.WaitForStop(10000);
            return;
        }
        client.Write(answer);
        char buffer[256];
        const std::size_t got = client.ReadSome(buffer, sizeof buffer, 5000);
        if (got > 0) client.Write(std::string_view(buffer, got));
    };
}

inline std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

struct Raised {
    std::int32_t number = 0;
    std::string description;  // UTF-8
};

inline std::optional<Raised> RaisedBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return Raised{e.number(), Utf8FromText(e.description())};
    }
    return std::nullopt;
}

inline http::Deadline Seconds(int s) { return http::Deadline(std::chrono::milliseconds(s * 1000)); }

// Everything the stream delivers until the peer closes (bounded).
inline std::string ReadAll(http::Stream& stream, const http::Deadline& deadline) {
    std::string all;
    char buffer[4096];
    while (all.size() < (1u << 20)) {
        const std::size_t got = stream.Read(buffer, sizeof buffer, deadline);
        if (got == 0) break;
        all.append(buffer, got);
    }
    return all;
}

}  // namespace orbenix::test
