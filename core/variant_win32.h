#pragma once
// The Windows Variant holds a real VARIANT; the COM layer reaches it here.
#include <oaidl.h>

#include "core/variant.h"

namespace orbenix {

struct Variant::Impl {
    VARIANT value;
    Impl() { VariantInit(&value); }
    Impl(const Impl& other);
    Impl& operator=(const Impl& other);
    ~Impl() { VariantClear(&value); }
};

// A copy of what the caller passed, by-reference values dereferenced.
Variant VariantFromNative(const VARIANT& value);
// Stores an object reference (put by reference of a property).
Variant VariantFromObject(IDispatch* object);
const VARIANT& NativeOf(const Variant& value);

}  // namespace orbenix
