// WOW64 under Wine: the same assertions hold for the 64-bit build (a native
// process) and for the shipping 32-bit build (a 32-bit process on 64-bit
// Windows, started by Wine's 32-bit loader in the 64-bit prefix).
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "connect/system_environment.h"
#include "events/event_log.h"
#include "locator/qv9reg.h"
#include "platform/registry.h"
#include "platform/special_folder.h"
#include "platform/sysinfo.h"
#include "platform/text.h"

using namespace qv;
using qv::platform::RootKey;

namespace {

constexpr bool k32BitProcess = sizeof(void*) == 4;

const wchar_t* W(const String& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// A DWORD read through one explicit view of HKEY_LOCAL_MACHINE.
std::optional<DWORD> ReadDword(const String& key, const String& name, REGSAM view) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return std::nullopt;
  DWORD value = 0, size = sizeof(value), type = 0;
  LONG rc = RegQueryValueExW(h, W(name), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
  return value;
}

std::optional<String> ReadText(const String& key, const String& name, REGSAM view) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, KEY_READ | view, &h) != ERROR_SUCCESS) return std::nullopt;
  wchar_t buffer[1024] = {};
  DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
  LONG rc = RegQueryValueExW(h, W(name), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(h);
  if (rc != ERROR_SUCCESS) return std::nullopt;
  return String(reinterpret_cast<const char16_t*>(buffer));
}

void WriteDword(const String& key, const String& name, DWORD value, REGSAM view) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, nullptr, 0, KEY_WRITE | view, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(h, W(name), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(h);
}

void DeleteValue(const String& key, const String& name, REGSAM view) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(key), 0, KEY_SET_VALUE | view, &h) != ERROR_SUCCESS) return;
  RegDeleteValueW(h, W(name));
  RegCloseKey(h);
}

// The view this process uses by default, and the other one.
constexpr REGSAM kOwnView = k32BitProcess ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
constexpr REGSAM kOtherView = k32BitProcess ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;

String ProbeKey() { return Format(u"Software\\Norva\\Tests\\Wow64\\%u", static_cast<unsigned>(GetCurrentProcessId())); }

}  // namespace

TEST(Wow64, ProcessKindAndIsWindows64Bit) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  EXPECT_EQ(wow64 != FALSE, k32BitProcess) << "a 32-bit test program must run as a WOW64 process";
  EXPECT_TRUE(IsWindows64Bit());
}

TEST(Wow64, MachineSoftwareWritesStayInTheProcessView) {
  const String key = ProbeKey();
  WriteRegInteger(RootKey::LocalMachine, key, u"Probe", 7);
  EXPECT_EQ(ReadRegInteger(RootKey::LocalMachine, key, u"Probe", 0), 7);
  EXPECT_EQ(ReadDword(key, u"Probe", kOwnView), std::optional<DWORD>(7));
  EXPECT_EQ(ReadDword(key, u"Probe", kOtherView), std::nullopt);
  if (k32BitProcess) {
    // Seen from the 64-bit side, the value is under WOW6432Node.
    const String redirected = u"Software\\WOW6432Node" + key.substr(8);
    EXPECT_EQ(ReadDword(redirected, u"Probe", KEY_WOW64_64KEY), std::optional<DWORD>(7));
  }
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, W(key), kOwnView, 0);
}

// Island is read by QV9REG.DLL through the default view: only the value in
// the process's own view makes the machine an island.
TEST(Wow64, Qv9RegReadsIslandFromTheProcessView) {
  wchar_t temp[MAX_PATH] = {};
  ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
  const String root = String(reinterpret_cast<const char16_t*>(temp)) +
                      Format(u"qvwow64-%u", static_cast<unsigned>(GetCurrentProcessId()));
  const String tarvex = root + u"\\TARVEX";
  ASSERT_TRUE(CreateDirectoryW(W(root), nullptr));
  ASSERT_TRUE(CreateDirectoryW(W(tarvex), nullptr));
  auto write = [](const String& path, const std::string& text) {
    HANDLE f = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    CloseHandle(f);
  };
  const std::string rootA = ToUtf8(root);
  write(root + u"\\NORVACONNECT.INI", "[NorvaAppdataShare]\r\nUNCname=" + rootA + "\r\n");
  write(tarvex + u"\\QTCFG.INI", "[QTCONFIG]\r\nExpectedUNCpath=" + rootA + "\r\nConfigurationFile=TARVEX.CFG\r\n");
  write(tarvex + u"\\TARVEX.CFG", "; configuration\r\n");
  ASSERT_TRUE(SetEnvironmentVariableW(L"NorvaConnectIniPath", W(root + u"\\NORVACONNECT.INI")));

  const String key = u"Software\\Norva\\NORVACONNECT";
  const auto savedOwn = ReadDword(key, u"Island", kOwnView);
  const auto savedOther = ReadDword(key, u"Island", kOtherView);
  DeleteValue(key, u"Island", kOwnView);
  WriteDword(key, u"Island", 1, kOtherView);

  HMODULE library = LoadLibraryW(L"QV9REG.DLL");
  ASSERT_NE(library, nullptr);
  auto nad = reinterpret_cast<QVGETNAD_FN>(reinterpret_cast<void*>(GetProcAddress(library, "QVGETNAD")));
  ASSERT_NE(nad, nullptr);
  auto call = [&](String& tarvexOut) {
    wchar_t t[QV9REG_PATH_CHARS] = {}, n[QV9REG_PATH_CHARS] = {}, r[QV9REG_PATH_CHARS] = {},
                                   c[QV9REG_PATH_CHARS] = {}, f[QV9REG_PATH_CHARS] = {};
    static wchar_t message[QV9REG_MESSAGE_CHARS];
    message[0] = 0;
    const int rc = nad(t, n, r, c, f, message, 1, library);
    tarvexOut = String(reinterpret_cast<const char16_t*>(t));
    return rc;
  };
  String located;
  EXPECT_EQ(call(located), -945) << "Island in the other view must not count";
  WriteDword(key, u"Island", 1, kOwnView);
  EXPECT_EQ(call(located), 0);
  EXPECT_TRUE(EqualsNoCaseAscii(located, tarvex + u"\\")) << ToUtf8(located);
  FreeLibrary(library);

  SetEnvironmentVariableW(L"NorvaConnectIniPath", nullptr);
  savedOwn ? WriteDword(key, u"Island", *savedOwn, kOwnView) : DeleteValue(key, u"Island", kOwnView);
  savedOther ? WriteDword(key, u"Island", *savedOther, kOtherView) : DeleteValue(key, u"Island", kOtherView);
  for (const char16_t* f : {u"\\TARVEX\\QTCFG.INI", u"\\TARVEX\\TARVEX.CFG", u"\\NORVACONNECT.INI"})
    DeleteFileW(W(root + f));
  RemoveDirectoryW(W(tarvex));
  RemoveDirectoryW(W(root));
}

// The machine environment key is under HKLM\System, which is not
// redirected: a 32-bit connect program's TarvexDir is seen by every program.
TEST(Wow64, TarvexDirLandsInTheSharedEnvironmentKey) {
  const String env = u"System\\CurrentControlSet\\Control\\Session Manager\\Environment";
  const auto saved = ReadText(env, u"TarvexDir", KEY_WOW64_64KEY);
  const String value = Format(u"\\\\QVWOW64\\NORVA%u\\TARVEX\\", static_cast<unsigned>(GetCurrentProcessId()));
  ASSERT_TRUE(connect::SetTarvexDir(value, false));
  EXPECT_EQ(ReadText(env, u"TarvexDir", KEY_WOW64_64KEY), std::optional<String>(value));
  EXPECT_EQ(ReadText(env, u"TarvexDir", KEY_WOW64_32KEY), std::optional<String>(value));
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, W(env), 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &h) == ERROR_SUCCESS) {
    if (saved)
      RegSetValueExW(h, L"TarvexDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved->c_str()),
                     static_cast<DWORD>((saved->size() + 1) * 2));
    else
      RegDeleteValueW(h, L"TarvexDir");
    RegCloseKey(h);
  }
}

// ProgramDir's folder: the 32-bit program-files folder, which CSIDL 38
// gives a 32-bit process and FOLDERID_ProgramFilesX86 gives every process.
TEST(Wow64, SuiteProgramFolderIsThe32BitProgramFiles) {
  const String folder = GetSpecialFolderPath(platform::kCsidlProgramFilesX86, platform::KnownFolder::ProgramFilesX86);
  EXPECT_TRUE(EndsWithNoCaseAscii(folder, u"\\Program Files (x86)")) << ToUtf8(folder);
  String csidl38 = GetFolderPathByCsidl(platform::kCsidlProgramFilesX86);
  if (k32BitProcess) {
    EXPECT_TRUE(EqualsNoCaseAscii(csidl38, folder)) << ToUtf8(csidl38);
  } else {
    EXPECT_TRUE(EndsWithNoCaseAscii(csidl38, u"\\Program Files")) << ToUtf8(csidl38);
  }
}

// The event-log registration chooses the message file by the platform's
// bitness: the 64-bit one on 64-bit Windows, for the 32-bit build too.
TEST(Wow64, EventSourcesNameTheMessageFileOf64BitWindows) {
  WriteEvent(u"", -1, 0, u"");
  const String key = u"System\\CurrentControlSet\\Services\\EventLog\\Velmora\\QV9REG";
  EXPECT_EQ(ReadText(key, u"EventMessageFile", KEY_WOW64_64KEY),
            std::optional<String>(u"%SystemRoot%\\system32\\QVEvtMsg64.dll"));
}
