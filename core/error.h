#pragma once
// Numbered run-time errors: a number and a description, as the platform's
// automation errors carry them. Thrown inside the core; never crosses COM.
#include <cstdint>
#include <exception>
#include <string>

namespace orbenix {

namespace errors {
inline constexpr std::int32_t InvalidProcedureCall = 5;
inline constexpr std::int32_t Overflow = 6;
inline constexpr std::int32_t OutOfMemory = 7;
inline constexpr std::int32_t TypeMismatch = 13;
inline constexpr std::int32_t InternalError = 51;
inline constexpr std::int32_t ObjectNotSet = 91;
inline constexpr std::int32_t InvalidUseOfNull = 94;
inline constexpr std::int32_t CantCreateObject = 429;
inline constexpr std::int32_t NotSupportedByObject = 438;
}  // namespace errors

// The standard description of a platform error number ("" when unknown).
std::u16string StandardDescription(std::int32_t number);

class Error : public std::exception {
public:
    Error(std::int32_t number, std::u16string description);
    // An error with the platform's standard description.
    explicit Error(std::int32_t number);

    std::int32_t number() const noexcept { return number_; }
    const std::u16string& description() const noexcept { return description_; }
    const char* what() const noexcept override { return what_.c_str(); }

private:
    std::int32_t number_;
    std::u16string description_;
    std::string what_;  // UTF-8 copy for diagnostics
};

// Turns whatever a step threw into a numbered error (the first error wins).
Error ToError(std::exception_ptr failure);

}  // namespace orbenix
