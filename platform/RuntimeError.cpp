#include "platform/RuntimeError.h"

#include <new>
#include <system_error>
#include <utility>

namespace platform {

namespace {
std::string ErrorText(long number, const std::string& description) {
    // Appended step by step: GCC 12 warns falsely (-Wrestrict) about the chained operator+.
    std::string text = "[";
    text += std::to_string(number);
    text += "] ";
    text += description;
    return text;
}
}  // namespace

RuntimeError::RuntimeError(long number, std::string description)
    : std::runtime_error(ErrorText(number, description)),
      number_(number),
      description_(std::move(description)) {}

namespace errors {
RuntimeError InvalidProcedureCallError() {
    return RuntimeError(InvalidProcedureCall, "Invalid procedure call or argument");
}
RuntimeError OverflowError() {
    return RuntimeError(Overflow, "Overflow");
}
RuntimeError TypeMismatchError() {
    return RuntimeError(TypeMismatch, "Type mismatch");
}
RuntimeError PathFileAccessError() {
    return RuntimeError(PathFileAccess, "Path/File access error");
}
RuntimeError ObjectVariableNotSetError() {
    return RuntimeError(ObjectVariableNotSet, "Object variable or With block variable not set");
}
RuntimeError CannotCreateObjectError(const std::string& what) {
    return RuntimeError(CannotCreateObject, "Cannot create the " + what);
}
RuntimeError InternalError(const std::string& detail) {
    return RuntimeError(Internal, "Internal error: " + detail);
}
RuntimeError SystemCallError(const char* call, int number) {
    return InternalError(std::string(call) + ": " + std::generic_category().message(number));
}
RuntimeError AsRuntimeError(const std::exception& error) {
    if (auto* runtimeError = dynamic_cast<const RuntimeError*>(&error)) {
        return *runtimeError;
    }
    if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
        return RuntimeError(OutOfMemory, "Out of memory");
    }
    return InternalError(error.what());
}
}  // namespace errors

}  // namespace platform
