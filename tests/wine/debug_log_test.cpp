// The debug log of a check as a debug-output viewer sees it.
#include <winsock2.h>

#include "tests/wine/com_client_support.h"
#include "tests/wine/dbwin_reader.h"

namespace orbenix::wine_tests {
namespace {

// A loopback port on which nothing listens: bound once, then closed.
int ClosedLoopbackPort() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    int port = 0;
    const SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof(address);
    if (probe != INVALID_SOCKET && bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    if (probe != INVALID_SOCKET) closesocket(probe);
    WSACleanup();
    return port;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class DebugLogTest : public ComTest {};

TEST_F(DebugLogTest, ReaderSeesEachLineExactly) {
    DbwinReader reader;
    ASSERT_TRUE(reader.ready());
    OutputDebugStringA("[probe] one");
    OutputDebugStringA("[probe] two, no terminator");
    const std::vector<std::string> lines = reader.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "[probe] one");
    EXPECT_EQ(lines[1], "[probe] two, no terminator");
}

// A check names its two temporary files before any traffic, response first;
// a check that fails on the way logs its error message too.
TEST_F(DebugLogTest, CheckLogsItsTemporaryNamesAndItsError) {
    const int port = ClosedLoopbackPort();
    ASSERT_GT(port, 0);
    ComPtr<IDispatch> object = CreateByProgId();
    ASSERT_TRUE(object);
    const std::wstring parameter = L"#URL=http://127.0.0.1:" + std::to_wstring(port) + L"/#KEY=key#HSH=hash#";
    OwnedVariant text = OwnedVariant::Text(parameter.c_str());
    ASSERT_HRESULT_SUCCEEDED(Put(object.get(), L"qv_parameter", *text).status);

    DbwinReader reader;
    ASSERT_TRUE(reader.ready());
    OwnedVariant verdict;
    ASSERT_EQ(Call(object.get(), L"qv_docheck", verdict).status, S_OK);
    const std::vector<std::string> lines = reader.Lines();
    OwnedVariant result;
    ASSERT_HRESULT_SUCCEEDED(Get(object.get(), L"qv_result", result).status);
    if (result.text() == L"ERR: Object doesn't support this property or method( 190)") {
        GTEST_SKIP() << "this build's form has no check engine yet";
    }

    ASSERT_EQ(verdict.type(), VT_BOOL);
    EXPECT_EQ(V_BOOL(verdict.get()), VARIANT_FALSE);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(StartsWith(lines[0], "[SOLUS CHECKER] Res Tempname: ")) << lines[0];
    EXPECT_TRUE(StartsWith(lines[1], "[SOLUS CHECKER] Req Tempname: ")) << lines[1];
    EXPECT_GT(lines[0].size(), std::string("[SOLUS CHECKER] Res Tempname: ").size());
    const std::string message = Narrow(result.text());
    if (StartsWith(message, "ERROR: ")) {
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[2], "[SOLUS CHECKER] " + message);
    }
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
    }
}

}  // namespace
}  // namespace orbenix::wine_tests
