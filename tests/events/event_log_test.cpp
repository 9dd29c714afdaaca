// The event log writer on the in-memory machine: the entry's strings,
// identifiers and user, the retry without a user, the alert decision and
// the registration of the Velmora log and its sources.
#include <gtest/gtest.h>

#include "events/event_log.h"
#include "platform/memory/memory_machine.h"

using namespace qv;
using namespace qv::platform;

namespace {

const String kUserSid = u"S-1-5-21-1004336348-1177238915-682003330-1001";
const String kLogKey = u"System\\CurrentControlSet\\Services\\EventLog\\Velmora";

class EventLog : public ::testing::Test {
 protected:
  EventLog() : use_(m_) {}
  MemoryMachine m_;
  ScopedPlatform use_;
};

TEST_F(EventLog, EntriesCarryTheFourStringsTheIdentifierAndTheUser) {
  struct Case {
    std::int16_t kind;
    std::int32_t code;
    const char16_t* word;
    std::uint32_t id;
    const char16_t* codeText;
  } cases[] = {
      {4, 0, u"Message", 0x40000002u, u""},     {0, 0, u"Message", 0x00000001u, u""},
      {2, 17, u"Warning", 0x80000003u, u"17"},  {1, -943, u"Error", 0xC0000004u, u"-943"},
      {3, 0, u"Error", 0xC0000004u, u""},  // not a Windows type: written as an error
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    MemoryMachine m;
    ScopedPlatform use(m);
    WriteEvent(u"the text", c.kind, c.code, u"QV9REG");
    const auto events = m.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].source, u"QV9REG");
    EXPECT_EQ(events[0].type, static_cast<std::uint16_t>(c.kind));
    EXPECT_EQ(events[0].category, 0);
    EXPECT_EQ(events[0].eventId, c.id);
    EXPECT_EQ(events[0].userSid, kUserSid);
    EXPECT_EQ(events[0].strings, (std::vector<String>{u"QV9REG", c.word, c.codeText, u" the text"}));
    EXPECT_EQ(m.OpenEventSourceCount(), 0u);
  }
}

TEST_F(EventLog, AnInvalidParameterIsRetriedOnceWithoutTheUser) {
  m_.InjectFailure("ReportEventW", 0, kErrInvalidParameter, u"S-*");
  WriteEvent(u"x", 1, -944, u"QV9REG");
  const auto events = m_.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].userSid, u"");
  EXPECT_EQ(m_.Count("ReportEventW"), 2u);
  EXPECT_EQ(m_.OpenEventSourceCount(), 0u);
}

TEST_F(EventLog, AnUnknownUserStillGetsTheEntryWritten) {
  m_.InjectFailure("LookupAccountNameW", 0, kErrNoneMapped);
  WriteEvent(u"x", 4, 0, u"QV9REG");
  ASSERT_EQ(m_.Events().size(), 1u);
  EXPECT_EQ(m_.Events()[0].userSid, u"");
}

TEST_F(EventLog, OtherFailuresLoseOnlyTheEntry) {
  m_.InjectFailure("ReportEventW", 0, kErrAccessDenied);
  WriteEvent(u"x", 1, -1, u"QV9REG");
  EXPECT_EQ(m_.Count("ReportEventW"), 1u);  // no retry
  EXPECT_EQ(m_.OpenEventSourceCount(), 0u);  // closed although reporting failed

  m_.ClearFailures();
  m_.InjectFailure("RegisterEventSourceW", 0, kErrAccessDenied);
  WriteEvent(u"x", 1, -1, u"QV9REG");
  EXPECT_TRUE(m_.Events().empty());
}

TEST(EventAlert, ErrorsAndWarningsCallForAnAlertExceptFromLinkprobe) {
  struct Case {
    std::int16_t kind;
    const char16_t* source;
    const char16_t* category;  // nullptr: none
    const char16_t* subject;
  } cases[] = {
      {1, u"QV9REG", u"EVENTLOG", u"Event log error message written from QV9REG"},
      {3, u"QVMSG", u"EVENTLOG", u"Event log error message written from QVMSG"},
      {2, u"QV9REG", u"EVENTWARN", u"Event log warning message written from QV9REG"},
      {4, u"QV9REG", nullptr, nullptr},
      {0, u"QV9REG", nullptr, nullptr},
      {2, u"linkprobe", nullptr, nullptr},
      {1, u"LinkProbe", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(c.source) + " kind " + std::to_string(c.kind));
    const auto alert = EventAlertFor(u"body text", c.kind, c.source);
    ASSERT_EQ(alert.has_value(), c.category != nullptr);
    if (!alert) continue;
    EXPECT_EQ(alert->category, c.category);
    EXPECT_EQ(alert->subject, c.subject);
    EXPECT_EQ(alert->body, u"body text");
  }
}

TEST_F(EventLog, RegistrationCreatesTheLogAndEverySource) {
  const char16_t* sources[] = {u"QV9JOBADM",  u"QV9REG",     u"QVGATEWAY",  u"NORVAINSTALL", u"QVESERVICE",
                               u"QVMSG",      u"QVTRC",      u"QVSMS04",    u"QVSMS05",      u"QVSIPMON",
                               u"QVXSERVICE", u"VELMORA",    u"QTEXTERN",   u"PORTWARDEN",   u"RESETTOR",
                               u"TASKEYE",    u"DOWNCALL",   u"LINKPROBE",  u"QVOMASERVICE", u"STARTNORVA",
                               u"QVHKSERVICE"};
  for (bool is64 : {true, false}) {
    SCOPED_TRACE(is64 ? "64-bit" : "32-bit");
    MemoryMachine m;
    ScopedPlatform use(m);
    m.SetWindows64Bit(is64);
    m.SetRegString(RootKey::LocalMachine, kLogKey + u"\\QVMSG", u"Kept", u"yes");
    WriteEvent(u"ignored", kEventKindRegister, 5, u"ignored");
    EXPECT_TRUE(m.KeyExists(RootKey::LocalMachine, kLogKey));
    const String file = is64 ? u"%SystemRoot%\\system32\\QVEvtMsg64.dll" : u"%SystemRoot%\\system32\\QVEvtMsg.dll";
    for (const char16_t* source : sources) {
      SCOPED_TRACE(ToUtf8(source));
      const String key = kLogKey + u"\\" + source;
      const auto messageFile = m.GetRegValue(RootKey::LocalMachine, key, u"EventMessageFile");
      ASSERT_TRUE(messageFile.has_value());
      EXPECT_EQ(messageFile->type, RegType::ExpandSz);
      EXPECT_EQ(m.GetRegString(RootKey::LocalMachine, key, u"EventMessageFile"), file);
      const auto types = m.GetRegValue(RootKey::LocalMachine, key, u"TypesSupported");
      ASSERT_TRUE(types.has_value());
      EXPECT_EQ(types->type, RegType::Dword);
      EXPECT_EQ(types->data, (Bytes{7, 0, 0, 0}));
    }
    EXPECT_EQ(m.GetRegString(RootKey::LocalMachine, kLogKey + u"\\QVMSG", u"Kept"), u"yes");
    EXPECT_TRUE(m.Events().empty());
  }
}

TEST_F(EventLog, RegistrationStopsSilentlyAtTheFirstRefusedWrite) {
  m_.DenyRegistryWrite(RootKey::LocalMachine, kLogKey + u"\\QVGATEWAY");
  WriteEvent(u"", kEventKindRegister, 0, u"");
  EXPECT_TRUE(m_.GetRegValue(RootKey::LocalMachine, kLogKey + u"\\QV9JOBADM", u"TypesSupported").has_value());
  EXPECT_TRUE(m_.GetRegValue(RootKey::LocalMachine, kLogKey + u"\\QV9REG", u"TypesSupported").has_value());
  EXPECT_FALSE(m_.KeyExists(RootKey::LocalMachine, kLogKey + u"\\QVGATEWAY"));
  EXPECT_FALSE(m_.KeyExists(RootKey::LocalMachine, kLogKey + u"\\QVMSG"));

  MemoryMachine denied;
  ScopedPlatform use(denied);
  denied.DenyRegistryWrite(RootKey::LocalMachine, u"System");
  WriteEvent(u"", kEventKindRegister, 0, u"");
  EXPECT_FALSE(denied.KeyExists(RootKey::LocalMachine, kLogKey));
}

}  // namespace
