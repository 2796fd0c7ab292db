#pragma once
// The decisions of the Schannel handshake loop, apart from the SSPI calls
// (portable, so their tables run everywhere; Wine's Schannel never asks for
// credentials, Windows does).
#include <cstddef>
#include <cstdint>

namespace orbenix::http {

// What one InitializeSecurityContext call returned, in classes.
enum class HandshakeStatus {
    Ok,                     // SEC_E_OK
    ContinueNeeded,         // SEC_I_CONTINUE_NEEDED
    IncompleteMessage,      // SEC_E_INCOMPLETE_MESSAGE
    IncompleteCredentials,  // SEC_I_INCOMPLETE_CREDENTIALS
    Failed,                 // any failure
};

enum class HandshakeNext {
    Done,             // established
    ReadMore,         // append what the server sends next, then call again
    CallAgain,        // call again with the input as it now stands
    FailNoCertificate,  // the server keeps asking for a client certificate
    Fail,
};

struct HandshakeStep {
    HandshakeNext next;
    // True: Schannel took the input but what it marked as extra (keep only
    // that); false: the input stays as it was.
    bool input_consumed;
};

// `asked_before`: the previous call returned IncompleteCredentials too.
// `extra_left`: Schannel marked unconsumed input (SECBUFFER_EXTRA).
HandshakeStep NextHandshakeStep(HandshakeStatus status, bool asked_before, bool extra_left);

// Watches the server's side of a handshake for a CertificateRequest. The
// messages before ChangeCipherSpec travel in plaintext in TLS 1.2 (TLS 1.3
// encrypts the request, so there it stays unseen). Bytes are fed as they
// arrive, in pieces of any size.
class CertificateRequestWatch {
public:
    void Feed(const unsigned char* data, std::size_t size);
    bool requested() const { return requested_; }

private:
    bool requested_ = false;
    bool done_ = false;  // past the plaintext handshake
    unsigned char record_header_[5] = {};
    std::size_t record_header_size_ = 0;
    std::size_t record_left_ = 0;
    unsigned char message_header_[4] = {};
    std::size_t message_header_size_ = 0;
    std::uint32_t message_left_ = 0;
};

}  // namespace orbenix::http
