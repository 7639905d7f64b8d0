#pragma once

#include <stdexcept>
#include <string>

namespace veltro {

// Classic error numbers keep their classic meaning; operators and the error log know them.
namespace err {
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int DivisionByZero = 11;
inline constexpr int TypeMismatch = 13;
inline constexpr int InternalError = 51;
inline constexpr int FileNotFound = 53;
inline constexpr int DiskFull = 61;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccess = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int ObjectVariableNotSet = 91;
inline constexpr int ObjectRequired = 424;
inline constexpr int PrinterError = 482;
inline constexpr int Jpeg = 26001;
} // namespace err

// Every failure that core signals. The error handler reports number, description and the source
// line where it was raised.
class VeltroError : public std::runtime_error {
public:
    VeltroError(int number, const std::string& description, const char* file = __builtin_FILE(),
                int line = __builtin_LINE());

    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    int line() const noexcept { return line_; }
    // "file.cpp:123", for trace lines and the error log.
    std::string source() const;

private:
    int number_;
    std::string description_;
    std::string file_;
    int line_;
};

} // namespace veltro
