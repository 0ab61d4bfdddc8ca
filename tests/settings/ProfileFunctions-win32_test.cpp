// Windows only: our profile functions against Windows' own, on the same files.
#include <windows.h>
#undef GetPrivateProfileString
#undef WritePrivateProfileString
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/AccessControl-win32.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"
#include "settings/ProfileFunctions-win32.h"
#include "settings/ProfileFunctions.h"

namespace {

namespace fs = std::filesystem;

class ProfileFunctionsWindowsOnly : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        ASSERT_NE(GetTempPathW(MAX_PATH + 1, temp), 0u);
        // Blanks and letters beyond ASCII in the path, as in "C:\Program Files\Zärvo".
        dir_ =
            fs::path(temp) / (L"zarvo ini \u00FC\u20AC " + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(dir_);
        ASSERT_TRUE(fs::create_directories(dir_));
        path_ = platform::FromWide((dir_ / L"zarvoupdater.ini").wstring());
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::wstring WidePath() const { return platform::ToWide(path_); }

    std::string WindowsReads(const wchar_t* section, const wchar_t* key) const {
        wchar_t value[256];
        DWORD length =
            GetPrivateProfileStringW(section, key, L"<none>", value, 256, WidePath().c_str());
        return platform::FromWide(std::wstring_view(value, length));
    }

    // The DACL as SDDL text. Wine keeps no DACL of a file: it reports one made from the Unix
    // mode, in which the others' bits are an entry for Everyone (WD).
    std::wstring Dacl(const fs::path& file) const {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        wchar_t* text = nullptr;
        std::wstring dacl;
        if (GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
            ConvertSecurityDescriptorToStringSecurityDescriptorW(
                descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
            dacl = text;
        }
        LocalFree(text);
        LocalFree(descriptor);
        return dacl;
    }

    std::string Bytes() const {
        std::ifstream file(dir_ / L"zarvoupdater.ini", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void WriteBytes(const std::string& bytes) const {
        std::ofstream(dir_ / L"zarvoupdater.ini", std::ios::binary) << bytes;
    }

    fs::path dir_;
    std::string path_;
};

TEST_F(ProfileFunctionsWindowsOnly, WindowsReadsWhatWeWrite) {
    ASSERT_TRUE(
        settings::WritePrivateProfileString("ACCOUNT", "Host", "myhost.zarvo.example", path_));
    ASSERT_TRUE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.3", path_));
    ASSERT_TRUE(
        settings::WritePrivateProfileString("account", "HOST", "other.zarvo.example", path_));
    ASSERT_TRUE(settings::WritePrivateProfileString("ACCOUNT", "Password", "a b=c", path_));
    EXPECT_EQ(WindowsReads(L"ACCOUNT", L"Host"), "other.zarvo.example");
    EXPECT_EQ(WindowsReads(L"wan", L"lastipadress"), "84.1.2.3");
    EXPECT_EQ(WindowsReads(L"ACCOUNT", L"Password"), "a b=c");
    EXPECT_EQ(WindowsReads(L"ACCOUNT", L"Missing"), "<none>");
}

TEST_F(ProfileFunctionsWindowsOnly, WeReadWhatWindowsWritesAndAddToIt) {
    ASSERT_TRUE(WritePrivateProfileStringW(L"Application", L"Interval", L"10", WidePath().c_str()));
    ASSERT_TRUE(WritePrivateProfileStringW(L"ZARVO", L"ZARVOServer", L"http://127.0.0.1:8080",
                                           WidePath().c_str()));
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, WidePath().c_str());  // flush its cache
    EXPECT_EQ(settings::GetPrivateProfileString("application", "INTERVAL", "", 64, path_), "10");
    EXPECT_EQ(settings::GetPrivateProfileString("ZARVO", "ZARVOServer", "", 64, path_),
              "http://127.0.0.1:8080");

    ASSERT_TRUE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.3", path_));
    EXPECT_EQ(WindowsReads(L"WAN", L"LastIPAdress"), "84.1.2.3");
    EXPECT_EQ(WindowsReads(L"Application", L"Interval"), "10");
}

// Notepad's "Unicode" is UTF-16 with a byte-order mark; Windows' reader understands it, and so
// do we, keeping the file's encoding when we write.
TEST_F(ProfileFunctionsWindowsOnly, Utf16FileReadsRightAndStaysUtf16) {
    std::wstring text = L"[ACCOUNT]\r\nHost=h\u00FCst.example\r\n";
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    WriteBytes(bytes);
    EXPECT_EQ(settings::GetPrivateProfileString("ACCOUNT", "Host", "", 64, path_),
              "h\xC3\xBCst.example");
    ASSERT_TRUE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.3", path_));
    EXPECT_EQ(Bytes().substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(WindowsReads(L"ACCOUNT", L"Host"), "h\xC3\xBCst.example");
    EXPECT_EQ(WindowsReads(L"WAN", L"LastIPAdress"), "84.1.2.3");
}

TEST_F(ProfileFunctionsWindowsOnly, AFileHeldWithoutSharingFailsAfterABoundedWait) {
    WriteBytes("[WAN]\r\nLastIPAdress=1.2.3.4\r\n");
    HANDLE holder = CreateFileW((dir_ / L"zarvoupdater.ini").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(settings::GetPrivateProfileString("WAN", "LastIPAdress", "", 64, path_),
                 platform::RuntimeError);
    EXPECT_FALSE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.3", path_));
    auto waited = std::chrono::steady_clock::now() - start;
    CloseHandle(holder);
    EXPECT_LT(waited, std::chrono::seconds(15));
    EXPECT_EQ(Bytes(), "[WAN]\r\nLastIPAdress=1.2.3.4\r\n");
    EXPECT_EQ(settings::GetPrivateProfileString("WAN", "LastIPAdress", "", 64, path_), "1.2.3.4");
}

// The rules themselves, as Windows reads them: what each kind of user gets.
TEST(AccessRules, SettingsForAdministratorsOnlyProgramsRunByUsers) {
    struct Grant {
        WELL_KNOWN_SID_TYPE who;
        ACCESS_MASK rights;
    };
    const ACCESS_MASK readAndRun = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    const struct {
        const wchar_t* sddl;
        BYTE inheritance;
        std::vector<Grant> grants;
    } cases[] = {
        {platform::kSettingsFileAccess,
         0,
         {{WinLocalSystemSid, FILE_ALL_ACCESS},
          {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
          {WinBuiltinUsersSid, 0},
          {WinAuthenticatedUserSid, 0},
          {WinWorldSid, 0}}},
        {platform::kProgramFolderAccess,
         OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE,
         {{WinLocalSystemSid, FILE_ALL_ACCESS},
          {WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
          {WinBuiltinUsersSid, readAndRun},
          {WinAuthenticatedUserSid, 0},
          {WinWorldSid, 0}}},
        {platform::kWritersLockAccess,
         0,
         {{WinLocalSystemSid, GENERIC_ALL},
          {WinBuiltinAdministratorsSid, GENERIC_ALL},
          {WinBuiltinUsersSid, 0},
          {WinAuthenticatedUserSid, 0},
          {WinWorldSid, 0}}},
    };
    for (const auto& rules : cases) {
        SCOPED_TRACE(platform::FromWide(rules.sddl));
        platform::SecurityAttributes attributes(rules.sddl);
        PSECURITY_DESCRIPTOR descriptor = attributes.Get()->lpSecurityDescriptor;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the folder above";
        BOOL present = FALSE;
        BOOL defaulted = FALSE;
        PACL dacl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
        ASSERT_TRUE(present && dacl != nullptr);
        for (const Grant& grant : rules.grants) {
            ACCESS_MASK rights = 0;
            for (DWORD index = 0; index < dacl->AceCount; ++index) {
                ACCESS_ALLOWED_ACE* ace = nullptr;
                ASSERT_TRUE(GetAce(dacl, index, reinterpret_cast<void**>(&ace)));
                ASSERT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
                EXPECT_EQ(ace->Header.AceFlags, rules.inheritance);
                if (IsWellKnownSid(&ace->SidStart, grant.who)) {
                    rights |= ace->Mask;
                }
            }
            EXPECT_EQ(rights, grant.rights) << "well-known SID " << grant.who;
        }
    }
    for (const wchar_t* owned : {platform::kWritersLockAccess, platform::kProgramFolderAccess}) {
        platform::SecurityAttributes rules(owned);
        PSID owner = nullptr;
        BOOL defaulted = FALSE;
        ASSERT_TRUE(
            GetSecurityDescriptorOwner(rules.Get()->lpSecurityDescriptor, &owner, &defaulted));
        EXPECT_TRUE(owner != nullptr && IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    }
}

TEST_F(ProfileFunctionsWindowsOnly, EveryWriteLeavesTheFileToAdministratorsAndClearsLeftovers) {
    const fs::path file = dir_ / L"zarvoupdater.ini";
    ASSERT_TRUE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.3", path_));
    EXPECT_EQ(Dacl(file).find(L";;;WD)"), std::wstring::npos) << "a new file: " << Dacl(file);

    fs::remove(file);
    WriteBytes("[WAN]\r\nLastIPAdress=1.2.3.4\r\n");
    ASSERT_NE(Dacl(file).find(L";;;WD)"), std::wstring::npos) << "readable by all before";
    // Leftovers are removed, the others kept; "ini<hex>.tmp" came from GetTempFileName.
    const std::vector<std::pair<std::wstring, bool>> copies = {
        {L"zarvoupdater.ini.00000001deadbeef.tmp", true},
        {L"ini3F2A.tmp", true},
        {L"INI1.TMP", true},
        {L"zarvoupdater.ini.bak.tmp", false},
        {L"other.ini.00000001deadbeef.tmp", false},
        {L"ini.tmp", false},
        {L"ini12345.tmp", false},
        {L"inixyz.tmp", false}};
    for (const auto& [name, leftover] : copies) {
        std::ofstream(dir_ / name) << "[ACCOUNT]\r\nPassword=secret\r\n";
    }
    ASSERT_TRUE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.4", path_));
    EXPECT_EQ(Dacl(file).find(L";;;WD)"), std::wstring::npos) << Dacl(file);
    EXPECT_EQ(Bytes(), "[WAN]\r\nLastIPAdress=84.1.2.4\r\n");
    for (const auto& [name, leftover] : copies) {
        EXPECT_NE(fs::exists(dir_ / name), leftover) << fs::path(name);
    }
}

// Anybody may create a global mutex of any name first; one that is not the Administrators' is
// refused, and the write fails as any other.
TEST_F(ProfileFunctionsWindowsOnly, AWritersLockMadeByAnotherUserFailsTheWriteWithTheReason) {
    WriteBytes("[WAN]\r\nLastIPAdress=1.2.3.4\r\n");
    std::vector<std::string> notices;
    settings::SetProfileNotices([&](const std::string& line) { notices.push_back(line); });
    const std::wstring name = settings::WritersLockName(WidePath());
    platform::SecurityAttributes squatter(L"O:BUD:(A;;GA;;;WD)");
    HANDLE taken = CreateMutexW(squatter.Get(), FALSE, name.c_str());
    ASSERT_NE(taken, nullptr);
    EXPECT_FALSE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.3", path_));
    CloseHandle(taken);
    EXPECT_TRUE(settings::WritePrivateProfileString("WAN", "LastIPAdress", "84.1.2.3", path_));
    settings::SetProfileNotices(nullptr);
    EXPECT_EQ(notices,
              std::vector<std::string>{"The settings writers' lock " + platform::FromWide(name) +
                                       " belongs to another user: " + path_ + " was not written."});
    EXPECT_EQ(Bytes(), "[WAN]\r\nLastIPAdress=84.1.2.3\r\n");
}

TEST_F(ProfileFunctionsWindowsOnly, ConcurrentWritersLoseNoKey) {
    constexpr int kWriters = 4;
    constexpr int kKeys = 10;
    std::vector<std::thread> writers;
    std::vector<int> failures(kWriters, 0);
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int k = 0; k < kKeys; ++k) {
                std::string key = "K" + std::to_string(w) + "_" + std::to_string(k);
                failures[w] += settings::WritePrivateProfileString("S", key, key, path_) ? 0 : 1;
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(failures[w], 0);
        for (int k = 0; k < kKeys; ++k) {
            std::string key = "K" + std::to_string(w) + "_" + std::to_string(k);
            EXPECT_EQ(settings::GetPrivateProfileString("S", key, "", 64, path_), key);
        }
    }
}

}  // namespace
