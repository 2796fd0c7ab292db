#include "engine/http/schannel_handshake.h"

namespace orbenix::http {

HandshakeStep NextHandshakeStep(HandshakeStatus status, bool asked_before, bool extra_left) {
    switch (status) {
        case HandshakeStatus::Ok: return {HandshakeNext::Done, true};
        case HandshakeStatus::ContinueNeeded:
            return {extra_left ? HandshakeNext::CallAgain : HandshakeNext::ReadMore, true};
        case HandshakeStatus::IncompleteMessage: return {HandshakeNext::ReadMore, false};
        case HandshakeStatus::IncompleteCredentials:
            // Nothing was consumed: the same input once more, now answered
            // without a certificate. Asked again, Schannel will not go on.
            if (asked_before) return {HandshakeNext::FailNoCertificate, false};
            return {HandshakeNext::CallAgain, false};
        case HandshakeStatus::Failed: break;
    }
    return {HandshakeNext::Fail, false};
}

void CertificateRequestWatch::Feed(const unsigned char* data, std::size_t size) {
    constexpr unsigned char kHandshakeRecord = 22;
    constexpr unsigned char kCertificateRequest = 13;
    for (std::size_t i = 0; i < size && !done_; ++i) {
        const unsigned char byte = data[i];
        // TLSPlaintext: type(1) version(2) length(2), then the fragment.
        if (record_left_ == 0) {
            record_header_[record_header_size_++] = byte;
            if (record_header_size_ < sizeof record_header_) continue;
            record_header_size_ = 0;
            // ChangeCipherSpec, an alert or application data: the plaintext
            // handshake is over.
            if (record_header_[0] != kHandshakeRecord) done_ = true;
            record_left_ = static_cast<std::size_t>(record_header_[3] << 8 | record_header_[4]);
            continue;
        }
        --record_left_;
        // Handshake messages run on across records: type(1) length(3), body.
        if (message_left_ > 0) {
            --message_left_;
            continue;
        }
        message_header_[message_header_size_++] = byte;
        if (message_header_size_ < sizeof message_header_) continue;
        message_header_size_ = 0;
        if (message_header_[0] == kCertificateRequest) {
            requested_ = true;
            done_ = true;
        }
        message_left_ = static_cast<std::uint32_t>(message_header_[1]) << 16 |
                        static_cast<std::uint32_t>(message_header_[2]) << 8 | message_header_[3];
    }
}

}  // namespace orbenix::http
