#include "core/error.h"

#include <new>

#include "core/utf8.h"

namespace orbenix {

std::u16string StandardDescription(std::int32_t number) {
    switch (number) {
    case errors::InvalidProcedureCall: return u"Invalid procedure call or argument";
    case errors::Overflow: return u"Overflow";
    case errors::OutOfMemory: return u"Out of memory";
    case errors::TypeMismatch: return u"Type mismatch";
    case errors::InternalError: return u"Internal error";
    case errors::ObjectNotSet: return u"Object variable or With block variable not set";
    case errors::InvalidUseOfNull: return u"Invalid use of Null";
    case errors::CantCreateObject: return u"ActiveX component can't create object";
    case errors::NotSupportedByObject: return u"Object doesn't support this property or method";
    default: return u"";
    }
}

Error::Error(std::int32_t number, std::u16string description)
    : number_(number), description_(std::move(description)), what_(Utf8FromText(description_)) {}

Error::Error(std::int32_t number) : Error(number, StandardDescription(number)) {}

Error ToError(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error(errors::OutOfMemory);
    } catch (const std::exception& e) {
        return Error(errors::InternalError, u"Internal error: " + TextFromUtf8(e.what()));
    } catch (...) {
        return Error(errors::InternalError);
    }
}

}  // namespace orbenix
