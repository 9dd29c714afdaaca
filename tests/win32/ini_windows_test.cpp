// IniFile against Windows' own profile reader: every text of the table is
// written to a file and every key is asked of GetPrivateProfileStringW and
// of IniFile, which must give the same answer (and the table's).
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/default_platform.h"
#include "platform/ini.h"
#include "platform/seam.h"
#include "tests/platform/ini_cases.h"

using namespace qv;
using namespace qv::platform;

namespace {

const wchar_t* Wide(const String& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

String WindowsAnswer(const String& file, const String& section, const String& key) {
  wchar_t buffer[4096] = {};
  GetPrivateProfileStringW(Wide(section), Wide(key), L"<default>", buffer, 4096, Wide(file));
  return String(reinterpret_cast<const char16_t*>(buffer));
}

TEST(IniAgainstWindows, EveryKeyOfTheTableAnswersAlike) {
  Platform& p = DefaultPlatform();
  String temp;
  ASSERT_EQ(p.GetTempPath(temp), 0u);
  const String folder = Format(u"%sqvini_%u", temp, static_cast<unsigned>(GetCurrentProcessId()));
  ASSERT_EQ(p.CreateDirectory(folder), 0u);
  int n = 0;
  for (const ini_cases::IniTextCase& c : ini_cases::IniTextCases()) {
    // A new name per text: the profile reader caches files by name.
    const String file = Format(u"%s\\CASE%d.INI", folder, ++n);
    ASSERT_EQ(p.WriteWholeFile(file, Bytes(c.bytes.begin(), c.bytes.end())), 0u);
    std::uint32_t status = 1;
    const IniFile ini = IniFile::Load(file, &status);
    EXPECT_EQ(status, 0u);
    for (const ini_cases::IniQuery& q : c.queries) {
      const String ours = ini.HasKey(q.section, q.key) ? ini.Get(q.section, q.key) : String(u"<default>");
      const String windows = WindowsAnswer(file, q.section, q.key);
      const String want = q.want ? String(q.want) : String(u"<default>");
      EXPECT_EQ(ToUtf8(ours), ToUtf8(windows)) << c.what << ": [" << ToUtf8(q.section) << "] " << ToUtf8(q.key);
      EXPECT_EQ(ToUtf8(windows), ToUtf8(want)) << c.what << ": [" << ToUtf8(q.section) << "] " << ToUtf8(q.key);
    }
    p.DeleteFile(file);
  }
  p.RemoveDirectory(folder);
}

}  // namespace
