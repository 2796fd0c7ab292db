// TLS over Schannel: the client handshake with manual certificate
// validation, record decryption and encryption over the inner stream, and
// the close_notify alert when the stream goes away.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "core/utf8.h"
#include "engine/http/http_errors.h"
#include "engine/http/schannel_certificate.h"
#include "engine/http/schannel_credential_choice.h"
#include "engine/http/schannel_handles.h"
#include "engine/http/schannel_handshake.h"
#include "engine/http/system_error_win32.h"
#include "engine/http/tls.h"
#include "engine/http/windows_build_win32.h"

namespace orbenix::http {
namespace {

// No client certificate: USE_SUPPLIED_CREDS keeps Schannel from picking one
// of the user's on its own when a server asks for one.
constexpr ULONG kContextRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                  ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                  ISC_REQ_STREAM | ISC_REQ_EXTENDED_ERROR |
                                  ISC_REQ_MANUAL_CRED_VALIDATION | ISC_REQ_USE_SUPPLIED_CREDS;
// Handshake messages larger than this are refused (certificate chains are a
// few KiB; the bound keeps a hostile server from growing the buffer).
constexpr std::size_t kMaxPending = 256 * 1024;
constexpr std::size_t kReadChunk = 16 * 1024 + 512;
// Upper bound on handshake calls that bring no new input, so a confused
// peer cannot loop us.
constexpr int kMaxIdleCalls = 64;
// Post-handshake messages (session tickets, key updates) within one Read.
constexpr int kMaxRenegotiations = 64;

constexpr DWORD kOldProtocols = SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT |
                                SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;

// Client credentials: no client certificate, the certificate checked by us,
// TLS 1.2 at least, TLS 1.3 where the system's build supports it (see
// schannel_credential_choice.h). The negotiated version is checked after the
// handshake all the same.
void AcquireCredentials(Credentials& credentials, const std::u16string& peer) {
    const DWORD flags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS |
                        SCH_USE_STRONG_CRYPTO;
    TimeStamp expiry{};
    wchar_t package[] = UNISP_NAME_W;
    SECURITY_STATUS status = SEC_E_UNKNOWN_CREDENTIALS;
    for (const CredentialAttempt& attempt : CredentialAttempts(WindowsBuildNumber())) {
        const DWORD tls13 = attempt.offers_tls13 ? SP_PROT_TLS1_3_CLIENT : 0;
        SCHANNEL_CRED classic{};
        classic.dwVersion = SCHANNEL_CRED_VERSION;
        classic.dwFlags = flags;
        classic.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT | tls13;
        TLS_PARAMETERS tls{};
        tls.grbitDisabledProtocols = kOldProtocols | (SP_PROT_TLS1_3_CLIENT & ~tls13);
        SCH_CREDENTIALS modern{};
        modern.dwVersion = SCH_CREDENTIALS_VERSION;
        modern.dwFlags = flags;
        modern.cTlsParameters = 1;
        modern.pTlsParameters = &tls;
        void* data = attempt.form == CredentialForm::SchCredentials ? static_cast<void*>(&modern)
                                                                    : static_cast<void*>(&classic);
        status = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr, data,
                                           nullptr, nullptr, credentials.fill(), &expiry);
        if (status == SEC_E_OK) return;
        credentials.forget();
    }
    throw Error(error_numbers::TlsHandshakeFailed,
                u"TLS handshake with " + peer + u" failed: no TLS credentials: " +
                    SystemErrorText(static_cast<std::uint32_t>(status)));
}

HandshakeStatus StatusClass(SECURITY_STATUS status) {
    switch (status) {
        case SEC_E_OK: return HandshakeStatus::Ok;
        case SEC_I_CONTINUE_NEEDED: return HandshakeStatus::ContinueNeeded;
        case SEC_E_INCOMPLETE_MESSAGE: return HandshakeStatus::IncompleteMessage;
        case SEC_I_INCOMPLETE_CREDENTIALS: return HandshakeStatus::IncompleteCredentials;
        default: return HandshakeStatus::Failed;
    }
}

class SchannelStream final : public Stream {
public:
    SchannelStream(std::unique_ptr<Stream> inner, const std::string& host)
        : inner_(std::move(inner)), peer_text_(TextFromUtf8(inner_->PeerName())) {
        // SNI carries DNS names only; an address literal goes without.
        if (!IsAddressLiteral(host)) target_ = TextFromUtf8(host);
    }

    ~SchannelStream() override { SendCloseNotify(); }

    void Handshake(const Deadline& deadline) {
        AcquireCredentials(credentials_, peer_text_);
        Negotiate(deadline, true);
        SECURITY_STATUS status =
            QueryContextAttributesW(context_.get(), SECPKG_ATTR_STREAM_SIZES, &sizes_);
        if (status != SEC_E_OK) throw NegotiationError(status);
        SecPkgContext_ConnectionInfo connection{};
        status = QueryContextAttributesW(context_.get(), SECPKG_ATTR_CONNECTION_INFO, &connection);
        if (status != SEC_E_OK) throw NegotiationError(status);
        if ((connection.dwProtocol & kOldProtocols) != 0) {
            throw Error(error_numbers::TlsHandshakeFailed,
                        u"TLS handshake with " + peer_text_ +
                            u" failed: the server offers only a TLS version older than 1.2");
        }
        established_ = true;
    }

    // Remembers the certificate that was verified; a renegotiation must keep it.
    void KeepVerified(const std::string& der) { verified_der_ = der; }

    // Null when the server sent none.
    CertContext ServerCertificate() {
        const CERT_CONTEXT* raw = nullptr;
        const SECURITY_STATUS status =
            QueryContextAttributesW(context_.get(), SECPKG_ATTR_REMOTE_CERT_CONTEXT, &raw);
        return CertContext(status == SEC_E_OK ? raw : nullptr);
    }

    std::size_t Read(void* buffer, std::size_t size, const Deadline& deadline) override {
        renegotiations_ = 0;
        while (plain_.size() == plain_start_) {
            if (closed_) return 0;
            if (!DecryptPending(deadline) && !closed_) {
                if (!ReceiveMore(deadline)) {
                    if (pending_.empty()) {  // closed without close_notify
                        closed_ = true;
                        return 0;
                    }
                    throw Error(error_numbers::TlsFailed,
                                u"TLS read with " + peer_text_ +
                                    u" failed: the connection was closed in the middle of a record");
                }
            }
        }
        const std::size_t count = std::min(size, plain_.size() - plain_start_);
        std::memcpy(buffer, plain_.data() + plain_start_, count);
        plain_start_ += count;
        if (plain_start_ == plain_.size()) {
            plain_.clear();
            plain_start_ = 0;
        }
        return count;
    }

    void Write(const void* data, std::size_t size, const Deadline& deadline) override {
        const char* next = static_cast<const char*>(data);
        std::vector<char>& record = record_;
        record.resize(sizes_.cbHeader + sizes_.cbMaximumMessage + sizes_.cbTrailer);
        while (size > 0) {
            const std::size_t chunk = std::min<std::size_t>(size, sizes_.cbMaximumMessage);
            std::memcpy(record.data() + sizes_.cbHeader, next, chunk);
            SecBuffer buffers[4] = {
                {sizes_.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                {static_cast<ULONG>(chunk), SECBUFFER_DATA, record.data() + sizes_.cbHeader},
                {sizes_.cbTrailer, SECBUFFER_STREAM_TRAILER,
                 record.data() + sizes_.cbHeader + chunk},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
            const SECURITY_STATUS status = EncryptMessage(context_.get(), 0, &description, 0);
            if (status != SEC_E_OK) {
                throw Error(error_numbers::TlsFailed,
                            u"TLS write with " + peer_text_ + u" failed: " +
                                SystemErrorText(static_cast<std::uint32_t>(status)));
            }
            inner_->Write(record.data(),
                          buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer,
                          deadline);
            next += chunk;
            size -= chunk;
        }
    }

    const std::string& PeerName() const override { return inner_->PeerName(); }

private:
    wchar_t* TargetName() {
        return target_.empty() ? nullptr : reinterpret_cast<wchar_t*>(target_.data());
    }

    // Appends what the peer sends next to `pending_`; false when it closed.
    bool ReceiveMore(const Deadline& deadline) {
        if (pending_.size() >= kMaxPending) {
            throw Error(established_ ? error_numbers::TlsFailed : error_numbers::TlsHandshakeFailed,
                        u"TLS " + std::u16string(established_ ? u"read" : u"handshake") +
                            u" with " + peer_text_ + u" failed: a TLS message exceeds " +
                            TextFromUtf8(std::to_string(kMaxPending)) + u" bytes");
        }
        const std::size_t old_size = pending_.size();
        pending_.resize(old_size + kReadChunk);
        std::size_t got = 0;
        try {
            got = inner_->Read(pending_.data() + old_size, kReadChunk, deadline);
        } catch (...) {
            pending_.resize(old_size);
            throw;
        }
        pending_.resize(old_size + got);
        if (!established_) {
            request_watch_.Feed(reinterpret_cast<const unsigned char*>(pending_.data()) + old_size,
                                got);
        }
        return got > 0;
    }

    // Keeps the last `extra` bytes of pending_ (input Schannel did not consume).
    void KeepExtra(std::size_t extra) {
        if (extra == 0 || extra > pending_.size()) {
            pending_.clear();
            return;
        }
        pending_.erase(pending_.begin(), pending_.end() - static_cast<std::ptrdiff_t>(extra));
    }

    void SendToken(SecBuffer& token, const Deadline& deadline) {
        if (token.pvBuffer == nullptr) return;
        const ContextBuffer owned(token.pvBuffer);
        token.pvBuffer = nullptr;
        if (token.cbBuffer > 0) inner_->Write(owned.get(), token.cbBuffer, deadline);
    }

    // Ends of the handshake that name what happened, in the words of the
    // first handshake or of a renegotiation once data flows.
    Error NegotiationError(const std::u16string& reason) const {
        if (established_) {
            return Error(error_numbers::TlsFailed,
                         u"TLS read with " + peer_text_ + u" failed: " + reason);
        }
        return Error(error_numbers::TlsHandshakeFailed,
                     u"TLS handshake with " + peer_text_ + u" failed: " + reason);
    }

    Error NegotiationError(SECURITY_STATUS status) const {
        const std::u16string reason = SystemErrorText(static_cast<std::uint32_t>(status));
        if (!certificate_requested_ && !request_watch_.requested()) return NegotiationError(reason);
        return NegotiationError(u"the server requires a client certificate, and none is configured: " +
                                reason);
    }

    // The handshake loop: the first one, or the one a renegotiation (TLS 1.3
    // post-handshake message) asks for, with its input already in pending_
    // (possibly none: Schannel says when it needs more).
    void Negotiate(const Deadline& deadline, bool initial) {
        bool first = initial;
        bool need_input = false;
        bool asked_before = false;  // the last call asked for client credentials
        // Reads are bounded by the deadline; calls without new input by a count.
        for (int idle_calls = 0; idle_calls < kMaxIdleCalls; ++idle_calls) {
            if (need_input) {
                if (!ReceiveMore(deadline)) {
                    throw NegotiationError(established_ ? u"the connection was closed during a renegotiation"
                                                        : u"the connection was closed by the server");
                }
                need_input = false;
                idle_calls = 0;
            }
            SecBuffer input[2] = {
                {static_cast<ULONG>(pending_.size()), SECBUFFER_TOKEN, pending_.data()},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc input_description{SECBUFFER_VERSION, 2, input};
            SecBuffer output[3] = {
                {0, SECBUFFER_TOKEN, nullptr},
                {0, SECBUFFER_ALERT, nullptr},
                {0, SECBUFFER_EMPTY, nullptr},
            };
            SecBufferDesc output_description{SECBUFFER_VERSION, 3, output};
            ULONG attributes = 0;
            SECURITY_STATUS status;
            if (first) {
                status = InitializeSecurityContextW(
                    credentials_.get(), nullptr, TargetName(), kContextRequest, 0, 0, nullptr, 0,
                    context_.fill(), &output_description, &attributes, nullptr);
                if (status != SEC_E_OK && status != SEC_I_CONTINUE_NEEDED &&
                    status != SEC_I_INCOMPLETE_CREDENTIALS &&
                    status != SEC_E_INCOMPLETE_MESSAGE) {
                    context_.forget();
                }
                first = false;
            } else {
                status = InitializeSecurityContextW(
                    credentials_.get(), context_.get(), TargetName(), kContextRequest, 0, 0,
                    &input_description, 0, nullptr, &output_description, &attributes, nullptr);
            }
            ContextBuffer alert(output[1].pvBuffer);
            // The token goes out even with a failure: it carries the alert.
            if (StatusClass(status) == HandshakeStatus::Failed) {
                try {
                    SendToken(output[0], deadline);
                } catch (const Error&) {
                }
                throw NegotiationError(status);
            }
            SendToken(output[0], deadline);

            const bool extra = input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0;
            const HandshakeStep step = NextHandshakeStep(StatusClass(status), asked_before, extra);
            asked_before = status == SEC_I_INCOMPLETE_CREDENTIALS;
            if (asked_before) certificate_requested_ = true;
            if (step.input_consumed) KeepExtra(extra ? input[1].cbBuffer : 0);
            switch (step.next) {
                case HandshakeNext::Done: return;
                case HandshakeNext::ReadMore: need_input = true; break;
                case HandshakeNext::CallAgain: break;
                case HandshakeNext::FailNoCertificate:
                    throw NegotiationError(
                        u"the server asks for a client certificate, and none is configured");
                case HandshakeNext::Fail: throw NegotiationError(status);
            }
        }
        throw NegotiationError(u"the handshake does not progress");
    }

    // Decrypts the records in pending_ into plain_. False when a whole record
    // is not there yet.
    bool DecryptPending(const Deadline& deadline) {
        if (pending_.empty()) return false;
        SecBuffer buffers[4] = {
            {static_cast<ULONG>(pending_.size()), SECBUFFER_DATA, pending_.data()},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc description{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = DecryptMessage(context_.get(), &description, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) return false;
        if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
            throw Error(error_numbers::TlsFailed,
                        u"TLS read with " + peer_text_ + u" failed: " +
                            SystemErrorText(static_cast<std::uint32_t>(status)));
        }
        // The plaintext lies in the buffer DecryptMessage made of buffers[1]
        // (the header, data, trailer order), the rest in an EXTRA one; both
        // inside pending_, so copy before moving.
        if (buffers[1].BufferType == SECBUFFER_DATA && buffers[1].cbBuffer > 0) {
            const char* bytes = static_cast<const char*>(buffers[1].pvBuffer);
            plain_.insert(plain_.end(), bytes, bytes + buffers[1].cbBuffer);
        }
        std::size_t extra = 0;
        for (const SecBuffer& buffer : buffers) {
            if (buffer.BufferType == SECBUFFER_EXTRA) extra = buffer.cbBuffer;
        }
        KeepExtra(extra);
        if (status == SEC_I_CONTEXT_EXPIRED) {
            closed_ = true;  // close_notify
        } else if (status == SEC_I_RENEGOTIATE) {
            if (++renegotiations_ > kMaxRenegotiations) {
                throw Error(error_numbers::TlsFailed,
                            u"TLS read with " + peer_text_ +
                                u" failed: too many post-handshake messages");
            }
            Negotiate(deadline, false);
            // A renegotiation may change the record sizes, and must not
            // change the server's certificate that was verified.
            QueryContextAttributesW(context_.get(), SECPKG_ATTR_STREAM_SIZES, &sizes_);
            RefuseChangedCertificate();
        }
        return true;
    }

    void RefuseChangedCertificate() {
        const CertContext now = ServerCertificate();
        if (now == nullptr) return;  // not told again: the verified one stands
        const std::string_view der(reinterpret_cast<const char*>(now->pbCertEncoded),
                                   now->cbCertEncoded);
        if (der == verified_der_) return;
        throw Error(error_numbers::TlsFailed,
                    u"TLS read with " + peer_text_ +
                        u" failed: the server presented another certificate in a renegotiation");
    }

    // Best effort: the stream is going away, so a failure changes nothing.
    void SendCloseNotify() noexcept {
        if (!established_ || !context_.valid()) return;
        try {
            DWORD shutdown = SCHANNEL_SHUTDOWN;
            SecBuffer control{sizeof shutdown, SECBUFFER_TOKEN, &shutdown};
            SecBufferDesc control_description{SECBUFFER_VERSION, 1, &control};
            if (ApplyControlToken(context_.get(), &control_description) != SEC_E_OK) return;
            SecBuffer output{0, SECBUFFER_TOKEN, nullptr};
            SecBufferDesc output_description{SECBUFFER_VERSION, 1, &output};
            ULONG attributes = 0;
            const SECURITY_STATUS status = InitializeSecurityContextW(
                credentials_.get(), context_.get(), TargetName(), kContextRequest, 0, 0, nullptr,
                0, nullptr, &output_description, &attributes, nullptr);
            const ContextBuffer token(output.pvBuffer);
            if (FAILED(status) || token == nullptr || output.cbBuffer == 0) return;
            inner_->Write(token.get(), output.cbBuffer, Deadline(std::chrono::milliseconds(200)));
        } catch (...) {
        }
    }

    std::unique_ptr<Stream> inner_;
    std::u16string peer_text_;
    std::u16string target_;  // SNI and session cache key; empty for addresses
    Credentials credentials_;
    SecurityContext context_;
    SecPkgContext_StreamSizes sizes_{};
    bool established_ = false;
    bool closed_ = false;
    std::vector<char> pending_;  // received, not yet decrypted
    std::vector<char> plain_;    // decrypted, not yet read
    std::vector<char> record_;   // one record being encrypted
    std::size_t plain_start_ = 0;
    int renegotiations_ = 0;  // within one Read
    bool certificate_requested_ = false;  // Schannel said the server asked for a certificate
    CertificateRequestWatch request_watch_;  // or we saw the request go by
    std::string verified_der_;            // the server certificate StartTls verified
};

}  // namespace

std::unique_ptr<Stream> StartTls(std::unique_ptr<Stream> inner, const std::string& host,
                                 const TlsOptions& options, const Deadline& deadline,
                                 const std::function<bool(const CertificateCheck&)>& accept) {
    CertStore ca_store;
    if (!options.ca_file.empty()) ca_store = LoadCaFile(options.ca_file);

    auto stream = std::make_unique<SchannelStream>(std::move(inner), host);
    stream->Handshake(deadline);
    CertificateCheck check;
    if (const CertContext server = stream->ServerCertificate()) {
        check = VerifyServerCertificate(*server, host, ca_store.get(), deadline);
        stream->KeepVerified(check.certificate.der);
    } else {
        check.error_code = static_cast<std::int32_t>(SEC_E_CERT_UNKNOWN);
        check.error_text = u"The server sent no certificate";
    }
    if (!accept(check)) {
        const std::u16string why = check.error_code == 0
                                       ? u"the certificate verified, but was refused"
                                       : check.error_text;
        throw Error(error_numbers::CertificateRejected,
                    u"Certificate of " + TextFromUtf8(stream->PeerName()) + u" rejected: " + why);
    }
    return stream;
}

}  // namespace orbenix::http
