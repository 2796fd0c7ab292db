#include "cli/configuration.h"

#include "cli/proxy_argument.h"
#include "core/error.h"
#include "core/utf8.h"
#include "core/variant.h"
#include "params/parameter_writer.h"
#include "params/read_tag.h"
#include "params/single_line_text.h"

namespace orbenix::cli {
namespace {

// A "#" would end the value early and could smuggle in another entry.
std::optional<ArgumentError> RejectHash(const std::u16string& value, const std::string& what) {
    if (value.find(u'#') == std::u16string::npos) return std::nullopt;
    return ArgumentError{what + " cannot hold \"#\": the parameter string has no way to store it"};
}

// The value of --NAME, or the one line in --NAME-file.
std::variant<std::u16string, ArgumentError> SecretValue(const std::optional<std::u16string>& inline_value,
                                                        const std::optional<std::u16string>& file,
                                                        const std::string& what, const Inputs& inputs) {
    if (inline_value) return *inline_value;
    if (!file) return std::u16string();
    auto bytes = inputs.read_input(*file);
    if (auto* error = std::get_if<ArgumentError>(&bytes)) return *error;
    return SingleLineText(std::get<std::string>(bytes), what);
}

std::variant<std::u16string, ArgumentError> ParameterText(const Options& options, const Inputs& inputs) {
    if (options.parameter) return *options.parameter;
    if (options.parameter_file) {
        auto bytes = inputs.read_input(*options.parameter_file);
        if (auto* error = std::get_if<ArgumentError>(&bytes)) return *error;
        return SingleLineText(std::get<std::string>(bytes), "the parameter file");
    }
    if (options.BuildsParameter()) return BuildParameter(options, inputs);
    if (auto value = inputs.environment(kParameterVariable); value && !value->empty()) return *value;
    return ArgumentError{std::string("no configuration: give --parameter-file, ") + kParameterVariable +
                         " or --url with its options"};
}

}  // namespace

std::variant<std::u16string, ArgumentError> SingleLineText(const std::string& bytes, const std::string& what) {
    auto line = orbenix::SingleLineText(bytes);
    if (!line) return ArgumentError{what + " holds more than one line"};
    return std::move(*line);
}

std::variant<std::u16string, ArgumentError> BuildParameter(const Options& options, const Inputs& inputs) {
    ParameterFields fields;
    fields.url = options.url.value_or(u"");
    if (auto error = RejectHash(fields.url, "--url")) return *error;

    auto key = SecretValue(options.key, options.key_file, "the key file", inputs);
    if (auto* error = std::get_if<ArgumentError>(&key)) return *error;
    fields.api_key = std::get<std::u16string>(key);
    if (auto error = RejectHash(fields.api_key, "the API key")) return *error;

    auto hash = SecretValue(options.hash, options.hash_file, "the hash file", inputs);
    if (auto* error = std::get_if<ArgumentError>(&hash)) return *error;
    fields.api_hash = std::get<std::u16string>(hash);
    if (auto error = RejectHash(fields.api_hash, "the API hash")) return *error;

    if (options.proxy) {
        auto parsed = ParseProxyArgument(*options.proxy);
        if (auto* error = std::get_if<ArgumentError>(&parsed)) return *error;
        const auto& proxy = std::get<ProxyArgument>(parsed);
        fields.use_proxy = true;
        fields.proxy_host = proxy.host;
        fields.proxy_port_text = TextFromUtf8(std::to_string(proxy.port));
        fields.proxy_type_index = proxy.type_index;
    }
    if (options.proxy_user) {
        fields.use_proxy_authentication = true;
        fields.proxy_username = *options.proxy_user;
        if (auto error = RejectHash(fields.proxy_username, "--proxy-user")) return *error;
        auto password = SecretValue(std::nullopt, options.proxy_password_file, "the proxy password file", inputs);
        if (auto* error = std::get_if<ArgumentError>(&password)) return *error;
        fields.proxy_password = std::get<std::u16string>(password);  // Base64 holds no "#"
    }
    return WriteParameterString(fields);
}

std::variant<UsageRequest, ArgumentError> BuildUsageRequest(const Options& options) {
    struct Row {
        UsageKind kind;
        const std::optional<std::u16string>& text;
        std::optional<ThresholdRange> UsageThresholds::*field;
        const char* option;
    };
    const Row rows[] = {
        {UsageKind::Bandwidth, options.bw_warning, &UsageThresholds::warning, "--bw-warning"},
        {UsageKind::Bandwidth, options.bw_critical, &UsageThresholds::critical, "--bw-critical"},
        {UsageKind::Disk, options.hdd_warning, &UsageThresholds::warning, "--hdd-warning"},
        {UsageKind::Disk, options.hdd_critical, &UsageThresholds::critical, "--hdd-critical"},
        {UsageKind::Memory, options.mem_warning, &UsageThresholds::warning, "--mem-warning"},
        {UsageKind::Memory, options.mem_critical, &UsageThresholds::critical, "--mem-critical"},
    };
    UsageRequest request;
    if (options.usage) request.asked.fill(true);
    for (const Row& row : rows) {
        if (!row.text) continue;
        auto range = ParseRange(*row.text);
        if (!range) {
            return ArgumentError{std::string(row.option) +
                                 " takes a range of percent such as 80, 10:, ~:90, 10:20 or @10:20"};
        }
        request.asked[UsageIndex(row.kind)] = true;
        request.thresholds[UsageIndex(row.kind)].*row.field = std::move(*range);
    }
    return request;
}

std::vector<std::string> VisibilityWarnings(const Options& options) {
    std::vector<std::string> warnings;
    auto warn = [&](const char* option, const char* instead) {
        warnings.push_back(std::string("orbenix-check: warning: ") + option +
                           " is visible to other users in the process list; use " + instead);
    };
    if (options.key) warn("--key", "--key-file");
    if (options.hash) warn("--hash", "--hash-file");
    if (options.parameter) {
        bool quoted = false;
        for (const char16_t* tag : {u"KEY", u"HSH", u"PRAP", u"PAP"}) {
            if (!ReadTag(*options.parameter, tag, quoted).empty()) {
                warn("the key, hash or password in --parameter", "--parameter-file or ORBENIX_PARAMETER");
                break;
            }
        }
    }
    return warnings;
}

std::variant<CheckConfig, ArgumentError> BuildConfig(const Options& options, const Inputs& inputs) {
    CheckConfig config;
    auto usage = BuildUsageRequest(options);
    if (auto* error = std::get_if<ArgumentError>(&usage)) return *error;
    config.usage = std::get<UsageRequest>(usage);
    config.check_options.usage_fields = config.usage.asked;

    auto parameter = ParameterText(options, inputs);
    if (auto* error = std::get_if<ArgumentError>(&parameter)) return *error;
    config.parameter = std::move(std::get<std::u16string>(parameter));

    config.timeout = options.timeout;
    config.hostname = options.hostname;
    config.timeout_state = options.timeout_state;
    if (options.timeout) {
        // The host's own conversion decides what counts as a number; any
        // other text still reaches qv_timeout and fails the check there.
        try {
            const std::int32_t seconds = Variant(*options.timeout).ToInt32();
            if (seconds >= 1 && seconds <= kMaxLimitSeconds) {
                config.limit_seconds = seconds;
            } else if (!options.json) {
                return ArgumentError{"-t/--timeout takes 1 to 86400 seconds"};
            }
            // --json is the host's view: any number the host can put into
            // qv_timeout reaches it, and the deadline stays at its default.
        } catch (const Error&) {
        }
    }
    config.check_options.timeout_seconds = config.limit_seconds;
    config.check_options.verify_tls = options.verify_tls || options.ca_file.has_value();
    if (options.ca_file) config.check_options.ca_file = Utf8FromText(*options.ca_file);
    return config;
}

}  // namespace orbenix::cli
