#pragma once

#include <stdexcept>
#include <string>

namespace platform {

/// A failed operation: an error number with its description, reported as "[n] d".
class RuntimeError : public std::runtime_error {
  public:
    RuntimeError(long number, std::string description);

    long Number() const { return number_; }
    const std::string& Description() const { return description_; }
    /// The error text as every report shows it: "[" + number + "] " + description.
    std::string Text() const { return what(); }

  private:
    long number_;
    std::string description_;
};

/// The classic numbers and texts of the runtime errors the system raises itself.
namespace errors {
inline constexpr long InvalidProcedureCall = 5;
inline constexpr long Overflow = 6;
inline constexpr long OutOfMemory = 7;
inline constexpr long TypeMismatch = 13;
inline constexpr long Internal = 51;
inline constexpr long PathFileAccess = 75;
inline constexpr long ObjectVariableNotSet = 91;
inline constexpr long CannotCreateObject = 429;

RuntimeError InvalidProcedureCallError();
RuntimeError OverflowError();
RuntimeError TypeMismatchError();
RuntimeError PathFileAccessError();
RuntimeError ObjectVariableNotSetError();
RuntimeError CannotCreateObjectError(const std::string& what);
/// A failure that no caller can act on (a system call that should never fail), with its detail.
RuntimeError InternalError(const std::string& detail);
/// A failed system call, by the errno it left.
RuntimeError SystemCallError(const char* call, int number);
/// Anything thrown that is not one of our runtime errors: memory as the classic "Out of memory",
/// the rest (the standard library) as "Internal error"; a runtime error as it is.
RuntimeError AsRuntimeError(const std::exception& error);
}  // namespace errors

}  // namespace platform
