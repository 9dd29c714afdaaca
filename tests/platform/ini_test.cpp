#include <gtest/gtest.h>

#include "platform/ini.h"
#include "platform/memory/memory_machine.h"
#include "platform/seam.h"
#include "tests/platform/ini_cases.h"

using namespace qv;
using namespace qv::platform;

namespace {

TEST(IniAnswers, EveryTextOfTheTableAnswersAsWindows) {
  MemoryMachine m;  // ANSI code page 1252
  ScopedPlatform use(m);
  for (const ini_cases::IniTextCase& c : ini_cases::IniTextCases()) {
    const IniFile ini = IniFile::Parse(Bytes(c.bytes.begin(), c.bytes.end()));
    for (const ini_cases::IniQuery& q : c.queries) {
      const String answer = ini.HasKey(q.section, q.key) ? ini.Get(q.section, q.key) : String(u"<default>");
      EXPECT_EQ(ToUtf8(answer), ToUtf8(q.want ? String(q.want) : String(u"<default>")))
          << c.what << ": [" << ToUtf8(q.section) << "] " << ToUtf8(q.key);
      if (!q.want) {
        EXPECT_EQ(ini.Get(q.section, q.key), u"") << c.what << ": " << ToUtf8(q.key);
      }
    }
  }
}

TEST(IniAnswers, FilesOverTheLimitAreNotRead) {
  MemoryMachine m;
  ScopedPlatform use(m);
  m.MakeDirectories(u"C:\\DATA");
  std::string big = "[QTCONFIG]\r\nExpectedUNCpath=\\\\SRV\\NORVA\r\n";
  std::string at = big + std::string(IniFile::kMaxFileBytes - big.size(), ' ');
  m.WriteBytes(u"C:\\DATA\\AT.INI", Bytes(at.begin(), at.end()));
  at.push_back(' ');
  m.WriteBytes(u"C:\\DATA\\OVER.INI", Bytes(at.begin(), at.end()));
  std::uint32_t status = 1;
  EXPECT_EQ(IniFile::Load(u"C:\\DATA\\AT.INI", &status).Get(u"QTCONFIG", u"ExpectedUNCpath"), u"\\\\SRV\\NORVA");
  EXPECT_EQ(status, kOk);
  EXPECT_EQ(IniFile::Load(u"C:\\DATA\\OVER.INI", &status).Get(u"QTCONFIG", u"ExpectedUNCpath"), u"");
  EXPECT_EQ(status, kErrFileTooLarge);
  EXPECT_EQ(m.FormatSystemMessage(status), u"The file size exceeds the limit allowed and cannot be saved.");
}

}  // namespace
