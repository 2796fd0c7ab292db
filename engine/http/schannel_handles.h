#pragma once
// Owners for the SSPI and CryptoAPI handles the Schannel backend uses.
// Windows-only.
#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS           // SCH_CREDENTIALS and TLS_PARAMETERS
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS  // dwUrlRetrievalTimeout
#include <windows.h>
#include <subauth.h>  // UNICODE_STRING for TLS_PARAMETERS
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <memory>
#include <utility>

// Checks the SSL chain policy may skip (SSL_EXTRA_CERT_CHAIN_POLICY_PARA),
// as wininet.h defines them.
#ifndef SECURITY_FLAG_IGNORE_UNKNOWN_CA
#define SECURITY_FLAG_IGNORE_UNKNOWN_CA 0x00000100
#endif
#ifndef SECURITY_FLAG_IGNORE_CERT_CN_INVALID
#define SECURITY_FLAG_IGNORE_CERT_CN_INVALID 0x00001000
#endif

namespace orbenix::http {

// An SSPI handle pair (credentials or security context) freed by `Free`.
template <typename Handle, SECURITY_STATUS(SEC_ENTRY* Free)(Handle*)>
class SspiHandle {
public:
    SspiHandle() = default;
    ~SspiHandle() { reset(); }
    SspiHandle(const SspiHandle&) = delete;
    SspiHandle& operator=(const SspiHandle&) = delete;

    // The handle for an SSPI call that fills it; marks it as owned.
    Handle* fill() {
        reset();
        valid_ = true;
        return &handle_;
    }
    Handle* get() { return valid_ ? &handle_ : nullptr; }
    bool valid() const { return valid_; }
    void reset() {
        if (valid_) Free(&handle_);
        valid_ = false;
    }
    // For a call that failed: the handle was never set.
    void forget() { valid_ = false; }

private:
    Handle handle_{};
    bool valid_ = false;
};

using Credentials = SspiHandle<CredHandle, FreeCredentialsHandle>;
using SecurityContext = SspiHandle<CtxtHandle, DeleteSecurityContext>;

// A buffer SSPI allocated (ISC_REQ_ALLOCATE_MEMORY).
struct ContextBufferDeleter {
    void operator()(void* buffer) const { FreeContextBuffer(buffer); }
};
using ContextBuffer = std::unique_ptr<void, ContextBufferDeleter>;

struct CertContextDeleter {
    void operator()(const CERT_CONTEXT* cert) const { CertFreeCertificateContext(cert); }
};
using CertContext = std::unique_ptr<const CERT_CONTEXT, CertContextDeleter>;

struct CertStoreDeleter {
    void operator()(void* store) const { CertCloseStore(store, 0); }
};
using CertStore = std::unique_ptr<void, CertStoreDeleter>;

struct CertChainDeleter {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};
using CertChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, CertChainDeleter>;

struct ChainEngineDeleter {
    void operator()(HCERTCHAINENGINE engine) const { CertFreeCertificateChainEngine(engine); }
};
using ChainEngine = std::unique_ptr<void, ChainEngineDeleter>;

struct LocalDeleter {
    void operator()(void* memory) const { LocalFree(memory); }
};
template <typename T>
using LocalMemory = std::unique_ptr<T, LocalDeleter>;

}  // namespace orbenix::http
