#pragma once
// A Variant as the host hands it over: Empty, Null, Boolean, numbers, text
// and (on Windows) object references. One interface, two implementations:
// on Windows a real VARIANT converted by the platform's Automation rules
// (variant_win32.cpp), elsewhere the same rules written out (variant_posix.cpp).
#include <cstdint>
#include <memory>
#include <string>

namespace orbenix {

enum class VariantKind { Empty, Null, Boolean, Integer, Double, Text, Object, Other };

class Variant {
public:
    Variant();  // Empty
    static Variant Null();
    Variant(bool value);
    Variant(std::int32_t value);
    Variant(double value);
    Variant(std::u16string value);
    Variant(const char16_t* value);

    Variant(const Variant& other);
    Variant& operator=(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant&& other) noexcept;
    ~Variant();

    VariantKind kind() const;
    bool IsEmpty() const { return kind() == VariantKind::Empty; }
    bool IsNull() const { return kind() == VariantKind::Null; }

    // Conversions by the Variant rules; each raises a numbered Error
    // (13 Type mismatch, 6 Overflow, 94 Invalid use of Null).
    std::u16string ToText() const;        // Empty gives ""
    std::int32_t ToInt32() const;         // rounds half to even; Empty gives 0
    double ToDouble() const;              // Empty gives 0
    // The comparison `value = False` of the host's language: Empty, False and
    // zero count as False; text is compared as a number or Boolean.
    bool EqualsFalse() const;

    struct Impl;
    const Impl& impl() const { return *impl_; }
    Impl& impl() { return *impl_; }
    explicit Variant(std::unique_ptr<Impl> impl);

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace orbenix
