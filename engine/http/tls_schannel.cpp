// TLS over Schannel (placeholder until the handshake lands).
#include "component/error.h"
#include "engine/http/http_errors.h"
#include "engine/http/tls.h"

namespace orbenix::http {

std::unique_ptr<Stream> StartTls(std::unique_ptr<Stream>, const std::string&, const TlsOptions&,
                                 const Deadline&,
                                 const std::function<bool(const CertificateCheck&)>&) {
    throw Error(error_numbers::TlsFailed, u"TLS is not yet available on Windows");
}

}  // namespace orbenix::http
