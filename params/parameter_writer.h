#pragma once
// Building the stored parameter string from the settings dialog's fields.
#include <string>

namespace orbenix {

// What the dialog (or the command line) holds when it stores the settings.
struct ParameterFields {
    std::u16string url;
    std::u16string api_key;
    std::u16string api_hash;
    bool use_proxy = false;
    std::u16string proxy_host;
    std::u16string proxy_port_text;  // as typed; its numeric value is stored
    int proxy_type_index = 0;        // list index, -1 when nothing is selected
    bool use_proxy_authentication = false;
    std::u16string proxy_username;
    std::u16string proxy_password;   // plain; stored Base64-encoded
};

// The proxy-type code stored for a list index: 1 "SOCKS4", 2 "SOCKS4A",
// 3 "SOCKS5", 4 "RELAY", anything else "WST".
std::u16string ProxyTypeCode(int list_index);
// The list index for a stored code, compared exactly; unknown codes give 0.
int ProxyTypeIndex(const std::u16string& code);

// The ten entries in their fixed order, closed by "#". URL, key and hash are
// trimmed of spaces; host, user name and password are stored as they are.
std::u16string WriteParameterString(const ParameterFields& fields);

}  // namespace orbenix
