// Exception classes shared by the whole program. Every error carries a plain
// message text; each component unit derives its own class from Exception.
#pragma once

#include <stdexcept>
#include <string>

namespace ravlon {

// Base of every error the program raises on purpose.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// Floating-point failures (division by zero, log of a value <= 0, overflow,
// invalid operation). Raised instead of producing inf/NaN, so that guarded
// paint and evaluation blocks can end where the arithmetic fails.
class EMathError : public Exception {
public:
    using Exception::Exception;
};
class EZeroDivide : public EMathError {
public:
    EZeroDivide() : EMathError("Floating point division by zero") {}
};
class EInvalidOp : public EMathError {
public:
    EInvalidOp() : EMathError("Invalid floating point operation") {}
};
class EOverflow : public EMathError {
public:
    EOverflow() : EMathError("Floating point overflow") {}
};

// An integer result outside its range (32-bit Integer) or an index outside an array.
class ERangeError : public Exception {
public:
    ERangeError() : Exception("Range check error") {}
    explicit ERangeError(const std::string& message) : Exception(message) {}
};

// A text that does not convert to a number.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Wrong input from the user: an edit that does not hold a usable value, a file
// chosen to open that is not a recording. Its message names the field or the
// file and says what works. Not a fault of the program: the application shows
// it as a plain message and does not log it.
class EInputError : public Exception {
public:
    using Exception::Exception;
};

} // namespace ravlon
