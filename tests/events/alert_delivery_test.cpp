// Handing alerts to MAILPOST.exe: the recipient functions, the command-line
// builder byte for byte (and through the sender's own parser), and the runs
// DeliverAlert makes on the in-memory machine.
#include <gtest/gtest.h>

#include <random>

#include "events/alert_delivery.h"
#include "platform/memory/memory_machine.h"
#include "settings/suite_settings.h"
#include "tests/events/mailpost_runs.h"
#include "tools/mailpost_standin/doubling_parser.h"

using namespace qv;
using namespace qv::platform;

namespace {

const String M1 = kMakerSupportAddress1;
const String M2 = kMakerSupportAddress2;

TEST(Recipients, SplitFollowsTheMarkersAndSendsFurtherAddressesToCc) {
  struct Case {
    const char16_t* list;
    const char16_t *to, *cc, *bcc, *first;
  } cases[] = {
      {u"", u"", u"", u"", u""},
      {u"ops", u"ops", u"", u"", u"ops"},
      {u"ops,boss", u"ops", u"boss", u"", u"ops"},
      {u"ops,boss,chief", u"ops", u"boss,chief", u"", u"ops"},
      {u"to,ops,boss", u"ops,boss", u"", u"", u""},
      {u"TO,a,Cc,b,BCC,c,d", u"a", u"b", u"c,d", u""},
      {u"a,bcc,x,to,y", u"a,y", u"", u"x", u"a"},
      {u"a,,b", u"a", u"b", u"", u"a"},         // the empty item goes to Cc, which is still empty
      {u"a,b,,c", u"a", u"b,,c", u"", u"a"},    // empty items take part like any other
      {u" a, b", u" a", u" b", u"", u" a"},     // items are not trimmed
      {u"cc,x", u"", u"x", u"", u""},
      {u"to", u"", u"", u"", u""},
      {u"tom,ccc", u"tom", u"ccc", u"", u"tom"},  // only whole items are markers
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.list));
    const RecipientParts p = SplitRecipients(c.list);
    EXPECT_EQ(p.to, c.to);
    EXPECT_EQ(p.cc, c.cc);
    EXPECT_EQ(p.bcc, c.bcc);
    EXPECT_EQ(p.firstTo, c.first);
  }
}

TEST(Recipients, CleanAndCombine) {
  EXPECT_EQ(CleanRecipients(u"a    b"), u"a b");
  EXPECT_EQ(CleanRecipients(u"a, ,b,,,c"), u"a,b,c");
  EXPECT_EQ(CleanRecipients(u"a,  ,b"), u"a,b");
  struct Case {
    const char16_t *to, *cc, *bcc, *result;
  } cases[] = {
      {u"a,b", u"", u"x,,y", u"to,a,b,bcc,x,y"},
      {u"ops", u"", u"", u"ops"},
      {u"ops," , u"", u"", u"to,ops"},
      {u"ops", u"boss", u"", u"ops,cc,boss"},
      {u"", u"boss,", u"", u"cc,boss"},  // the leading separator is removed
      {u"", u"", u"", u""},
      {u"a,,b,", u"c, ,d,", u"e", u"to,a,b,cc,c,d,bcc,e"},
  };
  for (const Case& c : cases) EXPECT_EQ(CombineRecipients(c.to, c.cc, c.bcc), c.result) << ToUtf8(c.to);
}

TEST(Recipients, MakerListFollowsTheBitsOfTheAbsoluteValue) {
  struct Case {
    std::int32_t norva;
    String list;
  } cases[] = {{0, u""},       {1, M1},     {2, M1},           {4, M1},           {7, M1},
               {8, M2},        {9, M1 + u"," + M2},            {-9, M1 + u"," + M2}, {16, u""},
               {-1, M1},       {INT32_MIN, u""}};
  for (const Case& c : cases) EXPECT_EQ(MakerRecipients(c.norva), c.list) << c.norva;
}

// ---------------------------------------------------------------- command line

SenderRun MakeRun(String subject, String body, String html, String recip, std::vector<String> files = {},
              String mode = u"AUTO") {
  return SenderRun{u"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe", mode, subject, body, html, recip, files};
}

TEST(SenderCommandLine, IsBuiltByteForByte) {
  struct Case {
    const char* what;
    SenderRun run;
    const char16_t* line;
  } cases[] = {
      {"plain", MakeRun(u"Disk full", u"Drive D: is full", u"", u"ops"),
       u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" AUTO \"SUBJECT=Disk full\" \"BODY=Text:Drive D: is full\" "
       u"\"RECIP=ops\""},
      {"quotes doubled", MakeRun(u"say \"hi\"", u"\"", u"", u"a,b"),
       u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" AUTO \"SUBJECT=say \"\"hi\"\"\" \"BODY=Text:\"\"\" "
       u"\"RECIP=a,b\""},
      {"html element", MakeRun(u"s", u"b", u"<B>b</B>", u"r"),
       u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" AUTO \"SUBJECT=s\" \"BODY=Text:b\" "
       u"\"HTML=Text:<B>b</B>\" \"RECIP=r\""},
      {"NORVA_WT with attachments",
       MakeRun(u"s", u"b", u"", M1, {u"\\\\SRV\\NORVA\\TARVEX\\LOG\\N1.TR1", u"C:\\Logs\\GATEWAY.GW1"}, u"NORVA_WT"),
       u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" NORVA_WT \"SUBJECT=s\" \"BODY=Text:b\" "
       u"\"RECIP=support@velmora.example\" \"\\\\SRV\\NORVA\\TARVEX\\LOG\\N1.TR1\" \"C:\\Logs\\GATEWAY.GW1\""},
      {"empty texts stay elements", MakeRun(u"", u"", u"", u""),
       u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" AUTO \"SUBJECT=\" \"BODY=Text:\" \"RECIP=\""},
      {"trailing backslash, CR LF and tab stay inside", MakeRun(u"a\\", u"x\r\n\ty\\", u"", u"r"),
       u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" AUTO \"SUBJECT=a\\\" \"BODY=Text:x\r\n\ty\\\" \"RECIP=r\""},
      {"a NUL becomes a blank", MakeRun(String(u"a\0b", 3), u"b", u"", u"r"),
       u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" AUTO \"SUBJECT=a b\" \"BODY=Text:b\" \"RECIP=r\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(SenderCommandLine(c.run), c.line);
  }
}

TEST(SenderCommandLine, ALongBodyIsCutAndMarkedWhileEveryOtherElementStaysWhole) {
  const std::vector<String> files{u"C:\\T\\N1.TR1", u"C:\\T\\N1.FT1"};
  for (const String& body : {String(9000, u'x'), String(5000, u'"'), String(8150, u'y') + u"\"\"\"\"\"\"\"\"\"\""}) {
    const SenderRun run = MakeRun(u"subject", body, u"", u"to,ops,boss", files, u"NORVA_WT");
    const String line = SenderCommandLine(run);
    EXPECT_LE(line.size(), 8191u);
    EXPECT_GE(line.size(), 8191u - 1);  // filled up to the limit (a doubled quote may not fit)
    const auto elements = mailpost::ParseDoubling(line);
    ASSERT_EQ(elements.size(), 7u);
    EXPECT_EQ(elements[0], run.program);
    EXPECT_EQ(elements[2], u"SUBJECT=subject");
    const String bodyElement = elements[3];
    ASSERT_EQ(bodyElement.rfind(u"BODY=Text:", 0), 0u);
    const String kept = bodyElement.substr(10, bodyElement.size() - 10 - String(kBodyCutMark).size());
    EXPECT_EQ(bodyElement.substr(bodyElement.size() - String(kBodyCutMark).size()), kBodyCutMark);
    EXPECT_EQ(body.rfind(kept, 0), 0u);  // a prefix of the body
    EXPECT_EQ(elements[4], u"RECIP=to,ops,boss");
    EXPECT_EQ(elements[5], files[0]);
    EXPECT_EQ(elements[6], files[1]);
  }
}

TEST(SenderCommandLine, AFittingLineIsNotCutAndTheHtmlBodyGoesNextThenTheSubject) {
  // Exactly at the limit: unchanged.
  SenderRun run = MakeRun(u"s", u"", u"", u"r");
  const std::size_t base = SenderCommandLine(run).size();
  run.body = String(8191 - base, u'b');
  EXPECT_EQ(SenderCommandLine(run).size(), 8191u);
  EXPECT_EQ(mailpost::ParseDoubling(SenderCommandLine(run))[3], u"BODY=Text:" + run.body);

  // A huge HTML body with a short body: the body is whole, the HTML body cut.
  run = MakeRun(u"s", u"short", String(10000, u'h'), u"r");
  auto elements = mailpost::ParseDoubling(SenderCommandLine(run));
  ASSERT_EQ(elements.size(), 6u);
  EXPECT_EQ(elements[3].substr(0, 10), u"BODY=Text:");
  EXPECT_EQ(elements[4].substr(elements[4].size() - 6), kBodyCutMark);
  EXPECT_EQ(elements[5], u"RECIP=r");
  EXPECT_LE(SenderCommandLine(run).size(), 8191u);

  // A huge subject: cut last, the recipients still whole.
  run = MakeRun(String(9000, u's'), u"b", u"", u"ops");
  elements = mailpost::ParseDoubling(SenderCommandLine(run));
  ASSERT_EQ(elements.size(), 5u);
  EXPECT_EQ(elements[4], u"RECIP=ops");
  EXPECT_LE(SenderCommandLine(run).size(), 8191u);
}

TEST(SenderCommandLine, AnyTextRoundTripsAsExactlyOneElement) {
  std::mt19937 random(20261210);
  const char16_t alphabet[] = {u'a', u' ', u'"', u'\\', u'\r', u'\n', u'\t', u'=', u',', u'\u00E9', u'\u20AC', u'Z'};
  auto text = [&](std::size_t maxLength) {
    String s;
    const std::size_t n = random() % (maxLength + 1);
    for (std::size_t i = 0; i < n; ++i) s.push_back(alphabet[random() % std::size(alphabet)]);
    return s;
  };
  for (int round = 0; round < 500; ++round) {
    const SenderRun run = MakeRun(text(40), text(200), round % 2 ? text(80) : String(), text(30), {text(20)}, u"NORVA_WT");
    const auto elements = mailpost::ParseDoubling(SenderCommandLine(run));
    std::vector<String> expected{run.program, u"NORVA_WT", u"SUBJECT=" + run.subject, u"BODY=Text:" + run.body};
    if (!run.htmlBody.empty()) expected.push_back(u"HTML=Text:" + run.htmlBody);
    expected.push_back(u"RECIP=" + run.recipients);
    expected.push_back(run.attachments[0]);
    ASSERT_EQ(elements, expected) << "round " << round;
  }
}

// ---------------------------------------------------------------- runs

class Delivery : public ::testing::Test {
 protected:
  Delivery() : use_(m_) {
    ResetSuiteSettingsForTests();
    m_.SetProgramBehaviour(u"MAILPOST.exe", {0, 1000, 0, false});
  }
  ~Delivery() override { ResetSuiteSettingsForTests(); }
  std::vector<std::vector<String>> Sent() const { return testing_events::MailpostRuns(m_); }
  MemoryMachine m_;
  ScopedPlatform use_;
};

TEST_F(Delivery, TheRunTable) {
  const std::vector<String> files{u"C:\\T\\N1.TR1", u"C:\\T\\N1.FT1"};
  struct Case {
    const char* what;
    const char16_t* recipients;
    std::int32_t norva;
    bool withFiles;
    std::vector<std::vector<String>> runs;  // mode, RECIP element, attachments
  } cases[] = {
      {"R, A, N", u"ops,boss", 1, true,
       {{u"AUTO", u"RECIP=ops,boss"}, {u"NORVA_WT", u"RECIP=" + M1, files[0], files[1]}}},
      {"R, no A, N", u"ops,boss", 1, false, {{u"AUTO", u"RECIP=to,ops," + M1 + u",cc,boss"}}},
      {"R, no A, N 0", u"to,ops,boss", 0, false, {{u"AUTO", u"RECIP=to,ops,boss"}}},
      {"single R, no A, N 0", u"ops", 0, false, {{u"AUTO", u"RECIP=ops"}}},
      {"no R, N 9", u"", 9, false, {{u"NORVA_WT", u"RECIP=" + M1 + u"," + M2}}},
      {"no R, A, N -8", u"", -8, true, {{u"NORVA_WT", u"RECIP=" + M2, files[0], files[1]}}},
      {"no R, N 0", u"", 0, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine m;
    ScopedPlatform use(m);
    m.SetProgramBehaviour(u"MAILPOST.exe", {0, 1000, 0, false});
    const std::int32_t result =
        DeliverAlert(u"subj", u"body", u"", c.recipients, c.norva, c.withFiles ? files : std::vector<String>{});
    EXPECT_EQ(result, c.runs.empty() ? kAlertNobody : 0);
    const auto started = m.StartedProcesses();
    ASSERT_EQ(started.size(), c.runs.size());
    for (std::size_t i = 0; i < started.size(); ++i) {
      const auto e = mailpost::ParseDoubling(started[i].commandLine);
      ASSERT_GE(e.size(), 5u);
      EXPECT_EQ(e[0], u"MAILPOST.exe");  // settings not read: the bare name
      EXPECT_EQ(e[1], c.runs[i][0]);
      EXPECT_EQ(e[2], u"SUBJECT=subj");
      EXPECT_EQ(e[3], u"BODY=Text:body");
      EXPECT_EQ(std::vector<String>(e.begin() + 4, e.end()),
                std::vector<String>(c.runs[i].begin() + 1, c.runs[i].end()));
      EXPECT_EQ(started[i].showMode, 0);
      EXPECT_EQ(started[i].workingDirectory, u"");
    }
  }
}

TEST_F(Delivery, RunsFromTheProgramFolderInTheTarvexFolderAndReturnsTheLastResult) {
  Settings().ProgramDir = u"C:\\Program Files (x86)\\NORVA\\";
  Settings().AppDataDir = u"C:\\TARVEX\\";
  m_.MakeDirectories(u"C:\\TARVEX");
  m_.SetProgramBehaviour(u"MAILPOST.exe", {0, 3000, 7, false});
  EXPECT_EQ(DeliverAlert(u"s", u"b", u"", u"ops", 1, {u"C:\\T\\A.TR1"}), 7);
  const auto started = m_.StartedProcesses();
  ASSERT_EQ(started.size(), 2u);
  for (const auto& p : started) {
    EXPECT_EQ(p.commandLine.rfind(u"\"C:\\Program Files (x86)\\NORVA\\MAILPOST.exe\" ", 0), 0u);
    EXPECT_EQ(p.workingDirectory, u"C:\\TARVEX\\");
  }
  // A sender that cannot be started, and one that hangs.
  m_.SetProgramBehaviour(u"MAILPOST.exe", {kErrFileNotFound, 0, 0, false});
  EXPECT_EQ(DeliverAlert(u"s", u"b", u"", u"ops", 0, {}), -1);
  m_.SetProgramBehaviour(u"MAILPOST.exe", {0, -1, 0, false});
  EXPECT_EQ(DeliverAlert(u"s", u"b", u"", u"ops", 0, {}), -120);
  EXPECT_EQ(m_.OpenProcessHandleCount(), 0u);
}

}  // namespace
