#pragma once

#include <windows.h>

#include <string>

namespace platform {

// Access rules as SDDL text. "P" protects a DACL from the entries its parent folder passes on,
// so that whatever the folder above allows reaches neither the programs nor the settings.

/// The settings file and every temporary copy of it hold passwords: SYSTEM and the
/// Administrators with full control, nobody else.
inline constexpr wchar_t kSettingsFileAccess[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";
/// The program folder: the Administrators own it (an owner may always change the rules), SYSTEM
/// and they may change it, the users read and run its programs. Its programs and log\ inherit
/// that; the settings file keeps its own.
inline constexpr wchar_t kProgramFolderAccess[] =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)";
/// The mutex of the settings file's writers: the Administrators own it, only they and SYSTEM
/// may open it.
inline constexpr wchar_t kWritersLockAccess[] = L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)";

/// A security descriptor made from SDDL text, as the SECURITY_ATTRIBUTES of a Create function.
class SecurityAttributes {
  public:
    /// Throws RuntimeError when the text does not describe a descriptor.
    explicit SecurityAttributes(const wchar_t* sddl);
    ~SecurityAttributes();
    SecurityAttributes(const SecurityAttributes&) = delete;
    SecurityAttributes& operator=(const SecurityAttributes&) = delete;

    SECURITY_ATTRIBUTES* Get() { return &attributes_; }

  private:
    SECURITY_ATTRIBUTES attributes_{};
};

/// Gives the file or folder `path` the owner (where `sddl` names one) and the protected DACL of
/// `sddl` and passes its inheritable
/// entries on to what the folder holds; ERROR_SUCCESS or the error.
DWORD Protect(const std::wstring& path, const wchar_t* sddl);

/// Whether anybody but SYSTEM, the Administrators and this process's own user may put files
/// into the folder `path`, change or delete it, or change its DACL or owner, as the system
/// reports its descriptor. Also true when the descriptor cannot be read.
bool OthersMayChange(const std::wstring& path);

/// Whether the kernel object `object` belongs to SYSTEM or the Administrators, as every object
/// that our programs share does.
bool OwnedByAdministrators(HANDLE object);

}  // namespace platform
