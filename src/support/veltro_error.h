#pragma once

#include <stdexcept>
#include <string>

namespace veltro {

// Classic error numbers keep their classic meaning; operators and the error log know them.
namespace err {
inline constexpr int kOverflow = 6;
inline constexpr int kOutOfMemory = 7;
inline constexpr int kSubscriptOutOfRange = 9;
inline constexpr int kDivisionByZero = 11;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kInternalError = 51;
inline constexpr int kFileNotFound = 53;
inline constexpr int kDiskFull = 61;
inline constexpr int kPermissionDenied = 70;
inline constexpr int kPathFileAccess = 75;
inline constexpr int kPathNotFound = 76;
inline constexpr int kObjectVariableNotSet = 91;
inline constexpr int kObjectRequired = 424;
inline constexpr int kPrinterError = 482;
inline constexpr int kJpeg = 26001;
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
