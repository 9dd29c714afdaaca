// Operator alerts on the in-memory machine: triggers, the per-user time and
// the interval, the recipient fallback, the category table, the trace files
// attached, the alerts of the event log writer and the re-entrancy guard.
#include <gtest/gtest.h>

#include "events/alert.h"
#include "events/alert_delivery.h"
#include "events/alert_report.h"
#include "events/event_log.h"
#include "locator/qv9reg.h"
#include "platform/memory/memory_machine.h"
#include "settings/suite_settings.h"
#include "tests/events/mailpost_runs.h"
#include "tools/mailpost_standin/doubling_parser.h"

using namespace qv;
using namespace qv::platform;

namespace {

constexpr RootKey HKLM = RootKey::LocalMachine;
constexpr RootKey HKCU = RootKey::CurrentUser;
constexpr std::uint64_t kMinute = 60ull * 10000000ull;

class Alerts : public ::testing::Test {
 protected:
  Alerts() : use_(m_) {
    ResetSuiteSettingsForTests();
    m_.SetProgramBehaviour(u"MAILPOST.exe", {0, 500, 0, false});
  }
  ~Alerts() override { ResetSuiteSettingsForTests(); }
  void Trigger(const String& category, const String& time, const String& recipients = u"ops",
               std::optional<std::int32_t> norva = std::nullopt, std::optional<std::int32_t> interval = std::nullopt) {
    m_.SetRegString(HKLM, kTriggersKey, category, time);
    if (!recipients.empty()) m_.SetRegString(HKLM, kTriggerRecipientsKey, category, recipients);
    if (norva) m_.SetRegDword(HKLM, kTriggerNorvaKey, category, static_cast<std::uint32_t>(*norva));
    if (interval) m_.SetRegDword(HKLM, kTriggerIntervalsKey, category, static_cast<std::uint32_t>(*interval));
  }
  std::int32_t Raise(const String& category, std::int64_t detail = 0) {
    return RaiseAlert(category, u"subject", u"body", detail, u"", u"");
  }
  std::optional<String> UserTime(const String& category) { return m_.GetRegString(HKCU, kTriggersKey, category); }
  String Now() { return ToString(static_cast<std::int64_t>(m_.GetSystemTimeAsFileTime())); }
  std::vector<std::vector<String>> Sent() const { return testing_events::MailpostRuns(m_); }
  MemoryMachine m_;
  ScopedPlatform use_;
};

TEST_F(Alerts, OffUnlessTheMachineWideValueIsANonZeroNumber) {
  EXPECT_EQ(Raise(u"X"), kAlertOff);  // no Triggers key at all
  Trigger(u"X", u"0");
  EXPECT_EQ(Raise(u"X"), kAlertOff);
  Trigger(u"X", u"yes");
  EXPECT_EQ(Raise(u"X"), kAlertOff);
  EXPECT_TRUE(Sent().empty());
  EXPECT_FALSE(UserTime(u"X"));
}

TEST_F(Alerts, OnAtOnceThenHeldForTheIntervalThenOnAgain) {
  Trigger(u"X", u"1");
  const String first = Now();
  EXPECT_EQ(Raise(u"X"), 0);
  EXPECT_EQ(UserTime(u"X"), first);  // the time before sending
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0], (std::vector<String>{u"MAILPOST.exe", u"AUTO", u"SUBJECT=subject", u"BODY=Text:body",
                                            u"RECIP=ops"}));

  m_.Advance(4 * 60 * 1000);
  EXPECT_EQ(Raise(u"X"), kAlertTooSoon);
  EXPECT_EQ(UserTime(u"X"), first);
  EXPECT_EQ(Sent().size(), 1u);

  m_.SetUtc(std::stoull(ToUtf8(first)) + 5 * kMinute);  // exactly the interval later
  EXPECT_EQ(Raise(u"X"), 0);
  EXPECT_EQ(Sent().size(), 2u);
}

TEST_F(Alerts, IntervalZeroSendsEveryAlertAndAnIntervalIsInMinutes) {
  Trigger(u"X", u"1", u"ops", std::nullopt, 0);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Raise(u"X"), 0);
  EXPECT_EQ(Sent().size(), 3u);

  Trigger(u"Y", u"1", u"ops", std::nullopt, 30);
  EXPECT_EQ(Raise(u"Y"), 0);
  m_.Advance(29 * 60 * 1000);
  EXPECT_EQ(Raise(u"Y"), kAlertTooSoon);
  m_.Advance(60 * 1000);
  EXPECT_EQ(Raise(u"Y"), 0);
}

TEST_F(Alerts, ThePerUserTimeDecidesWhenItIsLaterThanTheMachineWideOne) {
  const std::uint64_t now = m_.GetSystemTimeAsFileTime();
  // Machine-wide long ago, per user a minute ago: held.
  Trigger(u"X", ToString(static_cast<std::int64_t>(now - 60 * kMinute)));
  m_.SetRegString(HKCU, kTriggersKey, u"X", ToString(static_cast<std::int64_t>(now - kMinute)));
  EXPECT_EQ(Raise(u"X"), kAlertTooSoon);
  // Per user older than machine-wide: the machine-wide time decides.
  Trigger(u"Z", ToString(static_cast<std::int64_t>(now - kMinute)));
  m_.SetRegString(HKCU, kTriggersKey, u"Z", u"1");
  EXPECT_EQ(Raise(u"Z"), kAlertTooSoon);
  // A per-user value that is not a number counts as 0.
  Trigger(u"W", u"1");
  m_.SetRegString(HKCU, kTriggersKey, u"W", u"garbage");
  EXPECT_EQ(Raise(u"W"), 0);
  // Without the machine-wide key a per-user time alone switches the alert on.
  MemoryMachine m;
  ScopedPlatform use(m);
  m.SetProgramBehaviour(u"MAILPOST.exe", {0, 0, 0, false});
  m.SetRegString(HKCU, kTriggersKey, u"X", u"1");
  m.SetRegString(HKCU, u"Software\\Norva\\MAILPOST", u"AutoDefaultRecipients", u"me");
  EXPECT_EQ(RaiseAlert(u"X", u"s", u"b", 0, u"", u""), 0);
  ASSERT_EQ(m.StartedProcesses().size(), 1u);
  EXPECT_EQ(mailpost::ParseDoubling(m.StartedProcesses()[0].commandLine).back(), u"RECIP=me");
}

TEST_F(Alerts, TheCategoryIsFoundInAnyLetterCase) {
  Trigger(u"EVENTLOG", u"1", u"ops", 1, 0);
  Settings().AppDataDir = u"C:\\TARVEX\\";
  Settings().TraceDir = u"C:\\TARVEX\\LOG\\";
  m_.SetRegString(HKCU, u"Software\\Norva\\Engine", u"Nodename", u"N1");
  m_.WriteTextFile(u"C:\\TARVEX\\LOG\\N1.FT1", "x");
  m_.SetLastWriteTime(u"C:\\TARVEX\\LOG\\N1.FT1", m_.GetSystemTimeAsFileTime());
  EXPECT_EQ(Raise(u"eventlog"), 0);
  ASSERT_EQ(Sent().size(), 2u);  // recipients and attachments: AUTO, then NORVA_WT with the file
  EXPECT_EQ(Sent()[1].back(), u"C:\\TARVEX\\LOG\\N1.FT1");
}

TEST_F(Alerts, NobodyToSendToGivesMinus3ButTheTimeIsRecorded) {
  Trigger(u"X", u"1", u"");
  EXPECT_EQ(Raise(u"X"), kAlertNobody);
  EXPECT_TRUE(UserTime(u"X"));
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Alerts, TheDefaultRecipientsStandInUnlessTriggerNorvaIsNegative) {
  m_.SetRegString(HKCU, u"Software\\Norva\\MAILPOST", u"AutoDefaultRecipients", u"fallback");
  Trigger(u"A", u"1", u"", std::nullopt, 0);
  EXPECT_EQ(Raise(u"A"), 0);
  EXPECT_EQ(Sent().back().back(), u"RECIP=fallback");
  Trigger(u"B", u"1", u"", -8, 0);  // no fallback: only the maker's copy
  EXPECT_EQ(Raise(u"B"), 0);
  EXPECT_EQ(Sent().back()[1], u"NORVA_WT");
  EXPECT_EQ(Sent().back().back(), u"RECIP=" + String(kMakerSupportAddress2));
  Trigger(u"C", u"1", u"configured", std::nullopt, 0);
  EXPECT_EQ(Raise(u"C"), 0);
  EXPECT_EQ(Sent().back().back(), u"RECIP=configured");
}

TEST_F(Alerts, ASenderThatCannotStartStillCostsTheInterval) {
  m_.SetProgramBehaviour(u"MAILPOST.exe", {kErrFileNotFound, 0, 0, false});
  Trigger(u"X", u"1");
  EXPECT_EQ(Raise(u"X"), -1);
  EXPECT_TRUE(UserTime(u"X"));
  EXPECT_EQ(Raise(u"X"), kAlertTooSoon);
  // A refused write of the per-user time does not stop the alert.
  m_.DenyRegistryWrite(HKCU, u"Software\\Norva\\ALERTDESK");
  m_.SetProgramBehaviour(u"MAILPOST.exe", {0, 0, 4, false});
  Trigger(u"Y", u"1");
  EXPECT_EQ(Raise(u"Y"), 4);
  EXPECT_FALSE(UserTime(u"Y"));
}

TEST(AlertTraceKinds, TheCategoryTable) {
  struct Case {
    const char16_t* category;
    std::int64_t detail;
    std::uint8_t kinds;
  } cases[] = {
      {u"CONSOL", 0, 3},      {u"ENGINELOG", 0, 1},    {u"ENGINEOPTFS", 0, 1},  {u"ENGINERTE", 0, 3},
      {u"ENGINEVARSET", 0, 0}, {u"ENGINEVARSET", -5, 1}, {u"EVENTLOG", 0, 3},   {u"eventlog", 0, 3},
      {u"EventLog", 0, 3},    {u"EVENTWARN", 0, 0},    {u"QTMRGMV", 0, 0},     {u"GWFSFAIL", 0, 8},
      {u"GWMSGFAIL", 0, 8},   {u"GWLOADERROR", 0, 8},  {u"GWOMAFAIL", 0, 8},   {u"GWPORTMON", 0, 8},
      {u"GWTNEF", 0, 8},      {u"gwsaveerror", 0, 8},  {u"GWRECOVER", 0, 0},   {u"JOBCREATE", 0, 0},
      {u"JOBLAUNCH", 0, 0},   {u"JOBPRECONV", 0, 0},   {u"LINKPROBE", 0, 0},   {u"OMAGUI", 0, 0},
      {u"UNHEXC", 0, 5},      {u"SOMETHING", 0, 0},    {u"", 0, 0},
      {u"EVENTLOG ", 0, 0},   {u"\u0435VENTLOG", 0, 0},  // a trailing blank, a Cyrillic e: other names
  };
  for (const Case& c : cases) EXPECT_EQ(AlertTraceKinds(c.category, c.detail), c.kinds) << ToUtf8(c.category);
}

TEST_F(Alerts, TraceFilesAreCollectedOnlyWhenTriggerNorvaIsNotZero) {
  Settings().AppDataDir = u"C:\\TARVEX\\";
  Settings().TraceDir = u"C:\\TARVEX\\LOG\\";
  m_.WriteTextFile(u"C:\\TARVEX\\LOG\\GATEWAY.GW1", "x");
  m_.SetLastWriteTime(u"C:\\TARVEX\\LOG\\GATEWAY.GW1", m_.GetSystemTimeAsFileTime());
  Trigger(u"GWMSGFAIL", u"1", u"", 0, 0);
  m_.SetRegString(HKCU, u"Software\\Norva\\MAILPOST", u"AutoDefaultRecipients", u"ops");
  EXPECT_EQ(Raise(u"GWMSGFAIL"), 0);
  EXPECT_EQ(Sent().back().size(), 5u);  // no attachments
  EXPECT_EQ(m_.Count("FindFirstFileW"), 0u);
  Trigger(u"GWMSGFAIL", u"1", u"", 1, 0);
  EXPECT_EQ(Raise(u"GWMSGFAIL"), 0);
  ASSERT_EQ(Sent().size(), 3u);
  EXPECT_EQ(Sent()[2], (std::vector<String>{u"MAILPOST.exe", u"NORVA_WT", u"SUBJECT=subject", u"BODY=Text:body",
                                            u"RECIP=" + String(kMakerSupportAddress1),
                                            u"C:\\TARVEX\\LOG\\GATEWAY.GW1"}));
}

TEST_F(Alerts, ExaminingChangesNothing) {
  Trigger(u"X", u"1", u"", 9, 10);
  m_.SetRegString(HKCU, u"Software\\Norva\\MAILPOST", u"AutoDefaultRecipients", u"fallback");
  const AlertState s = ReadAlertState(u"X", 0);
  EXPECT_TRUE(s.machineWide);
  EXPECT_EQ(s.machineTime, 1);
  EXPECT_EQ(s.intervalMinutes, 10);
  EXPECT_EQ(s.norva, 9);
  EXPECT_EQ(s.recipients, u"fallback");
  EXPECT_TRUE(s.usedDefaultRecipients);
  EXPECT_EQ(s.verdict, 0);
  EXPECT_EQ(m_.Count("RegSetValueExW"), 0u);
  EXPECT_TRUE(Sent().empty());
}

TEST_F(Alerts, TheExplanationShowsTheDecisionTheFilesAndTheCommandLines) {
  Settings().AppDataDir = u"C:\\TARVEX\\";
  Settings().TraceDir = u"C:\\TARVEX\\LOG\\";
  m_.MakeDirectories(u"C:\\TARVEX\\LOG");
  m_.WriteTextFile(u"C:\\TARVEX\\LOG\\N1.TR1", "x");
  m_.SetLastWriteTime(u"C:\\TARVEX\\LOG\\N1.TR1", m_.GetSystemTimeAsFileTime());
  std::uint32_t* block = reinterpret_cast<std::uint32_t*>(m_.HoldSharedMemory(u"TarvexFGN1", 12));
  block[2] = kEngineSignature1;
  Trigger(u"EVENTLOG", u"1", u"ops", 1);
  m_.SetRegString(HKCU, kTriggersKey, u"EVENTLOG", ToString(static_cast<std::int64_t>(m_.GetSystemTimeAsFileTime() - kMinute)));
  const String text = ExplainAlert(u"EVENTLOG", 0, u"N1", u"<subject>", u"<body>");
  for (const char16_t* expected :
       {u"alert: on", u"interval: 5 minutes", u"time left: 4 min 0 s", u"now: would not go out (result -2",
        u"TriggerNorva: 1 (copy to support@velmora.example)", u"recipients configured: ops",
        u"recipients after the fallback: ops (the configured ones)",
        u"trace kinds: 3 (1 engine live trace, 2 engine and QTEXTERN trace)",
        u"  examined: C:\\TARVEX\\LOG\\N1.TR1 (written today)", u"  examined: C:\\TARVEX\\LOG\\N1.FT1 (not today)",
        u"  would attach: C:\\TARVEX\\LOG\\N1.TR1",
        u"command line 1: \"MAILPOST.exe\" AUTO \"SUBJECT=<subject>\" \"BODY=Text:<body>\" \"RECIP=ops\"",
        u"command line 2: \"MAILPOST.exe\" NORVA_WT \"SUBJECT=<subject>\" \"BODY=Text:<body>\" "
        u"\"RECIP=support@velmora.example\" \"C:\\TARVEX\\LOG\\N1.TR1\"",
        u"working folder: C:\\TARVEX\\; limit 15 seconds, hidden window"})
    EXPECT_NE(text.find(expected), String::npos) << ToUtf8(expected) << "\n" << ToUtf8(text);
  // Nothing changed: no registry write, no flush request, nothing started.
  EXPECT_EQ(m_.Count("RegSetValueExW"), 0u);
  EXPECT_EQ(block[0], 0u);
  EXPECT_TRUE(Sent().empty());
}

TEST(AlertResultMeaning, TellsTheAlertsOwnCodesFromTheSenders) {
  AlertState off;
  off.verdict = kAlertOff;
  AlertState goes;
  EXPECT_EQ(AlertResultMeaning(-1, off, true), u"the alert of this category is off");
  EXPECT_EQ(AlertResultMeaning(-1, goes, true), u"the sender program could not be started");
  EXPECT_EQ(AlertResultMeaning(-3, goes, false), u"not sent: there is nobody to send to");
  EXPECT_EQ(AlertResultMeaning(-3, goes, true), u"handed to the sender, which ended with exit code -3");
  EXPECT_EQ(AlertResultMeaning(-120, goes, true), u"the sender did not end within 15 seconds and was terminated");
  EXPECT_EQ(AlertResultMeaning(0, goes, true), u"handed to the sender, which ended with exit code 0");
}

// ---------------------------------------------------------------- WriteEvent

TEST_F(Alerts, ErrorAndWarningEntriesRaiseTheirAlerts) {
  Trigger(u"EVENTLOG", u"1", u"ops", 0, 0);
  Trigger(u"EVENTWARN", u"1", u"ops", 0, 0);
  struct Case {
    std::int16_t kind;
    const char16_t* source;
    const char16_t* subject;  // nullptr: no alert
  } cases[] = {
      {1, u"QV9REG", u"Event log error message written from QV9REG"},
      {3, u"QVMSG", u"Event log error message written from QVMSG"},
      {2, u"QVGATEWAY", u"Event log warning message written from QVGATEWAY"},
      {4, u"QV9REG", nullptr},
      {0, u"QV9REG", nullptr},
      {1, u"LINKPROBE", nullptr},
      {2, u"linkprobe", nullptr},
      {1, u"LinkProbe", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.source) + " kind " + std::to_string(c.kind));
    const std::size_t before = Sent().size();
    WriteEvent(u"QV9REG the \"text\"", c.kind, -943, c.source);
    if (!c.subject) {
      EXPECT_EQ(Sent().size(), before);
      continue;
    }
    ASSERT_EQ(Sent().size(), before + 1);
    EXPECT_EQ(Sent().back(), (std::vector<String>{u"MAILPOST.exe", u"AUTO", u"SUBJECT=" + String(c.subject),
                                                  u"BODY=Text:QV9REG the \"text\"", u"RECIP=ops"}));
  }
  EXPECT_TRUE(UserTime(u"EVENTLOG"));
  EXPECT_TRUE(UserTime(u"EVENTWARN"));
}

TEST_F(Alerts, AnEntryThatCouldNotBeWrittenStillRaisesItsAlert) {
  Trigger(u"EVENTLOG", u"1");
  m_.InjectFailure("RegisterEventSourceW", 0, kErrAccessDenied);
  WriteEvent(u"lost entry", 1, -1, u"QV9REG");
  EXPECT_TRUE(m_.Events().empty());
  EXPECT_EQ(Sent().size(), 1u);
}

// ---------------------------------------------------------------- re-entrancy
// The library's QVGETCFG as seen from an alert: it fails on a broken
// record and, with diagnostics on, writes an error entry.
int QVAPI FailingGetCfg(QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, QVCHAR*, unsigned char*, unsigned char*,
                        QVCHAR*, unsigned char, void*) {
  WriteEvent(u"QV9REG the connection record is missing", kEventKindError, -943, u"QV9REG");
  return -943;
}
int QVAPI RegVer(int) { return 3; }

TEST_F(Alerts, AnAlertRaisedWhileRaisingOneIsNeverSent) {
  // TriggerNorva on, interval 0, settings not loaded: collecting the trace
  // files loads them, which fails and writes an error entry, which raises
  // EVENTLOG again.
  Trigger(u"EVENTLOG", u"1", u"ops", 1, 0);
  m_.RegisterLibrary(u"QV9REG.DLL", {{"QVGETCFG", reinterpret_cast<void*>(&FailingGetCfg)},
                                     {"QVREGVER", reinterpret_cast<void*>(&RegVer)}});
  WriteEvent(u"QV9REG first failure", kEventKindError, -943, u"QV9REG");
  EXPECT_EQ(m_.Events().size(), 2u);  // the entry and the one written during the alert
  ASSERT_EQ(Sent().size(), 1u);       // only the first alert went out
  EXPECT_EQ(Sent()[0][3], u"BODY=Text:QV9REG first failure");
  EXPECT_FALSE(RaisingAlertOnThisThread());

  // The guard ends with the alert: the next one goes out (and again sends once).
  EXPECT_EQ(Raise(u"EVENTLOG"), 0);
  EXPECT_EQ(Sent().size(), 2u);
}

}  // namespace
