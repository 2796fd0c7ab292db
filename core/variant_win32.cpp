// The Windows Variant: a real VARIANT, converted by the platform's own rules.
#include "core/variant_win32.h"

#include <oleauto.h>

#include "core/error.h"
#include "core/variant_rules.h"

namespace orbenix {
namespace {

// Maps a failed conversion to the numbered error the host's language reports.
[[noreturn]] void RaiseConversion(HRESULT hr) {
    if (hr == DISP_E_OVERFLOW) throw Error(errors::Overflow);
    if (hr == E_OUTOFMEMORY) throw Error(errors::OutOfMemory);
    throw Error(errors::TypeMismatch);
}

VARIANT Converted(const VARIANT& source, VARTYPE type) {
    if (V_VT(&source) == VT_NULL) throw Error(errors::InvalidUseOfNull);
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = VariantChangeTypeEx(&out, const_cast<VARIANT*>(&source),
                                           LOCALE_USER_DEFAULT, VARIANT_ALPHABOOL, type);
    if (FAILED(hr)) RaiseConversion(hr);
    return out;
}

}  // namespace

Variant::Impl::Impl(const Impl& other) {
    VariantInit(&value);
    if (FAILED(VariantCopy(&value, const_cast<VARIANT*>(&other.value)))) throw Error(errors::OutOfMemory);
}

Variant::Impl& Variant::Impl::operator=(const Impl& other) {
    if (this != &other && FAILED(VariantCopy(&value, const_cast<VARIANT*>(&other.value)))) {
        throw Error(errors::OutOfMemory);
    }
    return *this;
}

Variant::Variant() : impl_(std::make_unique<Impl>()) {}
Variant::Variant(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Variant Variant::Null() {
    Variant v;
    V_VT(&v.impl_->value) = VT_NULL;
    return v;
}
Variant::Variant(bool value) : Variant() {
    V_VT(&impl_->value) = VT_BOOL;
    V_BOOL(&impl_->value) = value ? VARIANT_TRUE : VARIANT_FALSE;
}
Variant::Variant(std::int32_t value) : Variant() {
    V_VT(&impl_->value) = VT_I4;
    V_I4(&impl_->value) = value;
}
Variant::Variant(double value) : Variant() {
    V_VT(&impl_->value) = VT_R8;
    V_R8(&impl_->value) = value;
}
Variant::Variant(std::u16string value) : Variant() {
    BSTR text = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.data()),
                                  static_cast<UINT>(value.size()));
    if (text == nullptr) throw Error(errors::OutOfMemory);
    V_VT(&impl_->value) = VT_BSTR;
    V_BSTR(&impl_->value) = text;
}
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
    switch (V_VT(&impl_->value)) {
    case VT_EMPTY: return VariantKind::Empty;
    case VT_NULL: return VariantKind::Null;
    case VT_BOOL: return VariantKind::Boolean;
    case VT_I1: case VT_I2: case VT_I4: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_INT: case VT_UINT: case VT_I8: case VT_UI8:
        return VariantKind::Integer;
    case VT_R4: case VT_R8: case VT_CY: case VT_DECIMAL: return VariantKind::Double;
    case VT_BSTR: return VariantKind::Text;
    case VT_DISPATCH: case VT_UNKNOWN: return VariantKind::Object;
    default: return VariantKind::Other;
    }
}

std::u16string Variant::ToText() const {
    if (V_VT(&impl_->value) == VT_EMPTY) return u"";
    VARIANT text = Converted(impl_->value, VT_BSTR);
    std::u16string out(reinterpret_cast<const char16_t*>(V_BSTR(&text)), SysStringLen(V_BSTR(&text)));
    VariantClear(&text);
    return out;
}

double Variant::ToDouble() const {
    const VARIANT number = Converted(impl_->value, VT_R8);
    return V_R8(&number);
}

std::int32_t Variant::ToInt32() const {
    const VARIANT number = Converted(impl_->value, VT_I4);
    return V_I4(&number);
}

bool Variant::EqualsFalse() const {
    switch (V_VT(&impl_->value)) {
    case VT_NULL: return true;  // a Null verdict never passes
    case VT_BSTR: {
        VARIANT flag = Converted(impl_->value, VT_BOOL);
        return V_BOOL(&flag) == VARIANT_FALSE;
    }
    default: return ToDouble() == 0;
    }
}

Variant VariantFromNative(const VARIANT& value) {
    Variant out;
    if (FAILED(VariantCopyInd(&out.impl().value, const_cast<VARIANT*>(&value)))) {
        throw Error(errors::TypeMismatch);
    }
    return out;
}

Variant VariantFromObject(IDispatch* object) {
    Variant out;
    V_VT(&out.impl().value) = VT_DISPATCH;
    V_DISPATCH(&out.impl().value) = object;
    if (object != nullptr) object->AddRef();
    return out;
}

const VARIANT& NativeOf(const Variant& value) { return value.impl().value; }

}  // namespace orbenix
