#include "tests/support/test_tls_server.h"

namespace orbenix::test {

std::unique_ptr<TestTlsContext> MakeTestTlsContext() { return nullptr; }

}  // namespace orbenix::test
