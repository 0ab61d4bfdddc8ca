#include "platform/AccessControl-win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace platform {

namespace {

// Frees what the security functions allocate with LocalAlloc.
class LocalMemory {
  public:
    LocalMemory() = default;
    ~LocalMemory() { LocalFree(memory_); }
    LocalMemory(const LocalMemory&) = delete;
    LocalMemory& operator=(const LocalMemory&) = delete;

    PSECURITY_DESCRIPTOR* Receive() { return &memory_; }
    PSECURITY_DESCRIPTOR Get() const { return memory_; }

  private:
    PSECURITY_DESCRIPTOR memory_ = nullptr;
};

// This process's own user: an administrator running the programs themselves, whom Windows may
// make the owner of what they create instead of the Administrators.
std::vector<BYTE> OwnUser() {
    std::vector<BYTE> user;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return user;
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    user.resize(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
        user.clear();
    }
    CloseHandle(token);
    return user;
}

bool SystemOrAdministrators(PSID sid) {
    return sid != nullptr && IsValidSid(sid) &&
           (IsWellKnownSid(sid, WinLocalSystemSid) ||
            IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

bool Trusted(PSID sid) {
    if (SystemOrAdministrators(sid)) {
        return true;
    }
    const std::vector<BYTE> user = OwnUser();
    return sid != nullptr && IsValidSid(sid) && !user.empty() &&
           EqualSid(sid, reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid);
}

}  // namespace

SecurityAttributes::SecurityAttributes(const wchar_t* sddl) {
    attributes_.nLength = sizeof attributes_;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            sddl, SDDL_REVISION_1, &attributes_.lpSecurityDescriptor, nullptr)) {
        throw errors::InternalError("access rules " + FromWide(sddl) + " do not parse (error " +
                                    std::to_string(GetLastError()) + ")");
    }
}

SecurityAttributes::~SecurityAttributes() {
    LocalFree(attributes_.lpSecurityDescriptor);
}

DWORD Protect(const std::wstring& path, const wchar_t* sddl) {
    SecurityAttributes rules(sddl);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    PSID owner = nullptr;
    if (!GetSecurityDescriptorDacl(rules.Get()->lpSecurityDescriptor, &present, &dacl,
                                   &defaulted) ||
        !GetSecurityDescriptorOwner(rules.Get()->lpSecurityDescriptor, &owner, &defaulted)) {
        return GetLastError();
    }
    // A folder made beforehand by a user stays that user's otherwise, who could then put any
    // rules back.
    const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION |
                                      PROTECTED_DACL_SECURITY_INFORMATION |
                                      (owner != nullptr ? OWNER_SECURITY_INFORMATION : 0);
    // SetNamedSecurityInfoW, not SetFileSecurityW: it also passes the inheritable entries on to
    // what the folder holds already (the programs, log\ of an earlier installation).
    return SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, what, owner,
                                 nullptr, dacl, nullptr);
}

bool OthersMayChange(const std::wstring& path) {
    LocalMemory descriptor;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &dacl, nullptr, descriptor.Receive()) != ERROR_SUCCESS) {
        return true;
    }
    // The owner may always change the DACL; no DACL at all lets everybody do everything.
    if (!Trusted(owner) || dacl == nullptr) {
        return true;
    }
    constexpr ACCESS_MASK kChanges = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                     DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, index, reinterpret_cast<void**>(&header))) {
            return true;
        }
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE)) {
            continue;
        }
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        if ((allowed->Mask & kChanges) != 0 && !Trusted(&allowed->SidStart)) {
            return true;
        }
    }
    return false;
}

bool OwnedByAdministrators(HANDLE object) {
    LocalMemory descriptor;
    PSID owner = nullptr;
    return GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                           nullptr, nullptr, descriptor.Receive()) == ERROR_SUCCESS &&
           SystemOrAdministrators(owner);
}

}  // namespace platform
