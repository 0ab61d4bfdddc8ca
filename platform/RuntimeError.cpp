#include "platform/RuntimeError.h"

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
RuntimeError AsRuntimeError(const std::exception& error) {
    if (auto* runtimeError = dynamic_cast<const RuntimeError*>(&error)) {
        return *runtimeError;
    }
    return RuntimeError(InternalError, std::string("Internal error: ") + error.what());
}
}  // namespace errors

}  // namespace platform
