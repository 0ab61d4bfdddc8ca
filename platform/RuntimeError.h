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
inline constexpr long TypeMismatch = 13;
inline constexpr long PathFileAccess = 75;

RuntimeError InvalidProcedureCallError();
RuntimeError OverflowError();
RuntimeError TypeMismatchError();
RuntimeError PathFileAccessError();
}  // namespace errors

}  // namespace platform
