#include "params/parameter_writer.h"

#include <array>

#include "params/base64.h"
#include "params/numeric_value.h"
#include "params/read_tag.h"

namespace orbenix {
namespace {

constexpr std::array<std::u16string_view, 5> kProxyTypeCodes = {u"WST", u"SOCKS4", u"SOCKS4A",
                                                                 u"SOCKS5", u"RELAY"};

std::u16string Flag(bool value) { return value ? u"T" : u"F"; }

}  // namespace

std::u16string ProxyTypeCode(int list_index) {
    if (list_index < 1 || list_index >= static_cast<int>(kProxyTypeCodes.size())) return u"WST";
    return std::u16string(kProxyTypeCodes[static_cast<std::size_t>(list_index)]);
}

int ProxyTypeIndex(const std::u16string& code) {
    for (std::size_t i = 0; i < kProxyTypeCodes.size(); ++i) {
        if (kProxyTypeCodes[i] == code) return static_cast<int>(i);
    }
    return 0;
}

std::u16string WriteParameterString(const ParameterFields& f) {
    std::u16string s;
    s += u"#URL=" + TrimSpaces(f.url);
    s += u"#KEY=" + TrimSpaces(f.api_key);
    s += u"#HSH=" + TrimSpaces(f.api_hash);
    s += u"#PRU=" + Flag(f.use_proxy);
    s += u"#PRH=" + f.proxy_host;
    s += u"#PRP=" + DecimalText(NumericValue(f.proxy_port_text));
    s += u"#PRT=" + ProxyTypeCode(f.proxy_type_index);
    s += u"#PRA=" + Flag(f.use_proxy_authentication);
    s += u"#PRAU=" + f.proxy_username;
    s += u"#PRAP=" + EncodeString(f.proxy_password);
    s += u"#";
    return s;
}

}  // namespace orbenix
