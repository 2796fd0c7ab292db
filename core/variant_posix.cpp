// The Variant rules written out, for platforms without Automation.
#include <variant>

#include "core/error.h"
#include "core/variant.h"
#include "core/variant_rules.h"

namespace orbenix {

namespace {
struct NullValue {};
}  // namespace

struct Variant::Impl {
    std::variant<std::monostate, NullValue, bool, std::int32_t, double, std::u16string> value;
};

Variant::Variant() : impl_(std::make_unique<Impl>()) {}
Variant::Variant(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Variant Variant::Null() {
    auto impl = std::make_unique<Impl>();
    impl->value = NullValue{};
    return Variant(std::move(impl));
}
Variant::Variant(bool value) : Variant() { impl_->value = value; }
Variant::Variant(std::int32_t value) : Variant() { impl_->value = value; }
Variant::Variant(double value) : Variant() { impl_->value = value; }
Variant::Variant(std::u16string value) : Variant() { impl_->value = std::move(value); }
Variant::Variant(const char16_t* value) : Variant(std::u16string(value)) {}
Variant::Variant(const Variant& other) : impl_(std::make_unique<Impl>(*other.impl_)) {}
Variant& Variant::operator=(const Variant& other) {
    if (this != &other) *impl_ = *other.impl_;
    return *this;
}
Variant::Variant(Variant&& other) noexcept : impl_(std::make_unique<Impl>()) {
    std::swap(impl_, other.impl_);
}
Variant& Variant::operator=(Variant&& other) noexcept {
    std::swap(impl_, other.impl_);
    return *this;
}
Variant::~Variant() = default;

VariantKind Variant::kind() const {
    switch (impl_->value.index()) {
    case 0: return VariantKind::Empty;
    case 1: return VariantKind::Null;
    case 2: return VariantKind::Boolean;
    case 3: return VariantKind::Integer;
    case 4: return VariantKind::Double;
    default: return VariantKind::Text;
    }
}

std::u16string Variant::ToText() const {
    const auto& v = impl_->value;
    if (std::holds_alternative<std::monostate>(v)) return u"";
    if (std::holds_alternative<NullValue>(v)) throw Error(errors::InvalidUseOfNull);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? u"True" : u"False";
    if (const auto* i = std::get_if<std::int32_t>(&v)) {
        const auto s = std::to_string(*i);
        return std::u16string(s.begin(), s.end());
    }
    if (const auto* d = std::get_if<double>(&v)) return TextFromDouble(*d);
    return std::get<std::u16string>(v);
}

double Variant::ToDouble() const {
    const auto& v = impl_->value;
    if (std::holds_alternative<std::monostate>(v)) return 0;
    if (std::holds_alternative<NullValue>(v)) throw Error(errors::InvalidUseOfNull);
    if (const auto* b = std::get_if<bool>(&v)) return *b ? -1 : 0;
    if (const auto* i = std::get_if<std::int32_t>(&v)) return *i;
    if (const auto* d = std::get_if<double>(&v)) return *d;
    const auto number = NumberFromVariantText(std::get<std::u16string>(v));
    if (!number) throw Error(errors::TypeMismatch);
    return *number;
}

std::int32_t Variant::ToInt32() const {
    if (const auto* i = std::get_if<std::int32_t>(&impl_->value)) return *i;
    return RoundToInt32(ToDouble());
}

bool Variant::EqualsFalse() const {
    const auto& v = impl_->value;
    if (std::holds_alternative<NullValue>(v)) return true;  // a Null verdict never passes
    if (const auto* s = std::get_if<std::u16string>(&v)) {
        if (const auto number = NumberFromVariantText(*s)) return *number == 0;
        std::u16string lower;
        for (char16_t c : *s) lower += (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
        if (lower == u"false") return true;
        if (lower == u"true") return false;
        throw Error(errors::TypeMismatch);
    }
    return ToDouble() == 0;
}

}  // namespace orbenix
