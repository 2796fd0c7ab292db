#pragma once
// Owning handles for the OpenSSL objects the TLS listener's code makes.
#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

namespace orbenix::exporter {

template <auto Free>
struct OpenSslFree {
    template <typename T>
    void operator()(T* handle) const {
        Free(handle);
    }
};

using BioPtr = std::unique_ptr<BIO, OpenSslFree<BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, OpenSslFree<X509_free>>;
using PrivateKeyPtr = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;
using SslPtr = std::unique_ptr<SSL, OpenSslFree<SSL_free>>;
using GeneralNamesPtr = std::unique_ptr<GENERAL_NAMES, OpenSslFree<GENERAL_NAMES_free>>;

}  // namespace orbenix::exporter
