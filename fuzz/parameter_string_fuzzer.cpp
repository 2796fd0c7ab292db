// libFuzzer target: the stored parameter string, as UTF-8 and as ANSI text.
// Every tag is read plainly and quoted; the fields are converted as the
// check reads them (Boolean rule, port rule, DecodeString), written back
// with WriteParameterString, and must read back to the same fields.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/ansi_codepage.h"
#include "core/error.h"
#include "core/utf8.h"
#include "params/base64.h"
#include "params/numeric_value.h"
#include "params/parameter_writer.h"
#include "params/read_tag.h"

namespace {

using namespace orbenix;

const char16_t* const kTags[] = {u"URL", u"KEY", u"HSH", u"PAU", u"PAP", u"PAA", u"PRU",
                                 u"PRH", u"PRP", u"PRT", u"PRA", u"PRAU", u"PRAP"};

std::u16string Upper(std::u16string text) {
    for (auto& c : text) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    }
    return text;
}

std::u16string Read(const std::u16string& parameter, const char16_t* tag) {
    bool quoted = false;
    return ReadTag(parameter, tag, quoted);
}

// A value is the text right after the first "#TAG=" (plain) or "#TAG=\""
// (quoted); a plain value runs up to the next "#".
void CheckRead(const std::u16string& parameter, const std::u16string& upper, const std::u16string& tag,
               bool quoted_reading) {
    bool quoted = quoted_reading;
    const std::u16string value = ReadTag(parameter, tag, quoted);
    if (quoted != quoted_reading) std::abort();
    const std::u16string needle = u"#" + tag + (quoted_reading ? u"=\"" : u"=");
    const std::size_t at = upper.find(needle);
    if (at == std::u16string::npos) {
        if (!value.empty()) std::abort();
        return;
    }
    const std::size_t start = at + needle.size();
    if (parameter.compare(start, value.size(), value) != 0) std::abort();
    if (quoted_reading) return;
    const std::size_t end = start + value.size();
    if (end != parameter.size() && parameter[end] != u'#') std::abort();
    if (value.find(u'#') != std::u16string::npos) std::abort();
}

// The fields the check reads; nothing when a conversion fails as stored
// strings may make it fail (Overflow for the port, 5 for a password).
struct Fields {
    std::u16string url, key, hash, host, type, user, password, auth_user, auth_password;
    bool use_proxy = false, use_auth = false, use_proxy_auth = false;
    std::int32_t port = 0;
    bool operator==(const Fields&) const = default;
};

std::optional<Fields> ReadFields(const std::u16string& p) {
    Fields f;
    try {
        f.url = Read(p, u"URL");
        f.key = Read(p, u"KEY");
        f.hash = Read(p, u"HSH");
        f.auth_user = Read(p, u"PAU");
        f.auth_password = DecodeString(Read(p, u"PAP"));
        f.use_auth = IsTrueFlag(Read(p, u"PAA"));
        f.use_proxy = IsTrueFlag(Read(p, u"PRU"));
        f.host = Read(p, u"PRH");
        f.port = PortValue(Read(p, u"PRP"));
        f.type = Read(p, u"PRT");
        f.use_proxy_auth = IsTrueFlag(Read(p, u"PRA"));
        f.user = Read(p, u"PRAU");
        f.password = DecodeString(Read(p, u"PRAP"));
    } catch (const Error& e) {
        if (e.number() != errors::Overflow && e.number() != errors::InvalidProcedureCall) std::abort();
        return std::nullopt;
    }
    return f;
}

// The number a port text stores must read back as the same number.
void CheckPortText(const std::u16string& text) {
    const double value = NumericValue(text);
    const double again = NumericValue(DecimalText(value));
    if (again != value && !(std::isnan(value) && std::isnan(again))) std::abort();
}

void CheckText(const std::u16string& parameter) {
    const std::u16string upper = Upper(parameter);
    for (const char16_t* tag : kTags) {
        CheckRead(parameter, upper, tag, false);
        CheckRead(parameter, upper, tag, true);
    }
    CheckPortText(Read(parameter, u"PRP"));

    const std::optional<Fields> read = ReadFields(parameter);
    if (!read) return;
    ParameterFields dialog;
    dialog.url = read->url;
    dialog.api_key = read->key;
    dialog.api_hash = read->hash;
    dialog.use_proxy = read->use_proxy;
    dialog.proxy_host = read->host;
    dialog.proxy_port_text = NumberText(read->port);  // as the port box shows it
    dialog.proxy_type_index = ProxyTypeIndex(read->type);
    dialog.use_proxy_authentication = read->use_proxy_auth;
    dialog.proxy_username = read->user;
    dialog.proxy_password = read->password;

    const std::optional<Fields> again = ReadFields(WriteParameterString(dialog));
    if (!again) std::abort();
    Fields expected = *read;
    expected.url = TrimSpaces(read->url);
    expected.key = TrimSpaces(read->key);
    expected.hash = TrimSpaces(read->hash);
    expected.type = ProxyTypeCode(dialog.proxy_type_index);
    expected.auth_user.clear();  // the dialog never writes PAU, PAP, PAA
    expected.auth_password.clear();
    expected.use_auth = false;
    if (!(*again == expected)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every reading is a linear scan; longer strings only slow the search
    // (a stored string is well under 1 KiB).
    if (size > 2048) return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CheckText(TextFromUtf8(bytes));
    CheckText(TextFromAnsi(bytes));
    return 0;
}
