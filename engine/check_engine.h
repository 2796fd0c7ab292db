#pragma once
// The status check of one form: DoCheck asks the panel's client API about one
// server through a new HTTP component object and evaluates the answer. The
// engine is also the component's event sink (the WebApper_* handlers).
#include <functional>
#include <memory>
#include <string>

#include "engine/http/http_component.h"

namespace orbenix {

using HttpComponentFactory =
    std::function<std::unique_ptr<http::HttpComponent>(http::HttpEvents& events)>;

// Makes our real component (http::CreateHttpComponent).
HttpComponentFactory RealHttpComponentFactory();

inline constexpr char16_t kApiPath[] = u"/api/client/command.php";
inline constexpr char16_t kUserAgent[] = u"Mozilla/4.0 (compatible; MSIE 5.5; Windows NT 5.0)";

class CheckEngine final : public http::HttpEvents {
public:
    explicit CheckEngine(HttpComponentFactory factory = RealHttpComponentFactory());
    ~CheckEngine() override;
    CheckEngine(const CheckEngine&) = delete;
    CheckEngine& operator=(const CheckEngine&) = delete;

    // One check from this thread's CheckSettings. True when the server is
    // online; on False the reason is in CheckSettings::LastMessage. Never
    // fails, except when the error message itself cannot be built or logged.
    bool DoCheck();

    // The component of the last check: kept until the next check replaces
    // it, released only after an unrecognised answer.
    http::HttpComponent* webapper() const { return webapper_.get(); }

    // Events of the component (WebApper_Done, _Disconnected, _HostCertificate, _Redirect).
    void Done(std::int32_t ErrorCode, const std::u16string& ErrorText) override;
    void Disconnected(std::int32_t ErrorCode, const std::u16string& ErrorText) override;
    void HostCertificate(const http::Certificate& Cert, std::int32_t ErrorCode,
                         const std::u16string& ErrorText, bool& Accept) override;
    void Redirect(std::u16string& URL, bool& Allow) override;

private:
    http::HttpComponent& Web() const;

    HttpComponentFactory factory_;
    std::unique_ptr<http::HttpComponent> webapper_;
};

// The trap's message: "ERROR: " + number + " (" + description + ")" + " line: " + line.
std::u16string CheckErrorMessage(std::int32_t number, const std::u16string& description, int line);

// Errors a check passes over: 50000 to 50050.
constexpr bool IsPassedOver(std::int32_t number) { return number >= 50000 && number <= 50050; }

}  // namespace orbenix
