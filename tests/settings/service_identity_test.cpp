// Node and service identity: which service program the process is (or was
// started by), and the names it traces and displays under.
#include <gtest/gtest.h>

#include "platform/memory/memory_machine.h"
#include "platform/sysinfo.h"
#include "settings/service_identity.h"

using namespace qv;
using namespace qv::platform;

namespace {

class ServiceIdentity : public ::testing::Test {
 protected:
  ServiceIdentity() : use_(m_) { Reset(); }
  ~ServiceIdentity() override { Reset(); }
  static void Reset() {
    ResetAncestorCacheForTests();
    ResetServiceIdentityForTests();
  }
  // The process 400 runs `self`, started by `parent` (pid 300), which runs
  // under services.exe.
  void RunAs(const String& self, const String& parent = u"services.exe") {
    m_.AddProcess(200, 4, u"services.exe");
    m_.AddProcess(300, 200, parent);
    m_.AddProcess(400, 300, self);
    m_.SetCurrentProcess(400);
  }
  void SetImagePath(const String& service, const String& path) {
    m_.SetRegString(RootKey::LocalMachine, u"SYSTEM\\CurrentControlSet\\services\\" + service, u"ImagePath", path,
                    RegType::ExpandSz);
  }
  MemoryMachine m_;
  ScopedPlatform use_;
};

struct IdentityCase {
  const char* what;
  const char16_t* self;
  const char16_t* parent;
  const char16_t* engineImage;   // QVESERVICE's ImagePath, nullptr for none
  const char16_t* connectorImage;
  const char16_t* gatewayNode;   // GWNODENAME, nullptr for none
  const char16_t* node;
  const char16_t* baseName;
  const char16_t* displayName;
};

}  // namespace

TEST_F(ServiceIdentity, ServicePrograms) {
  const IdentityCase cases[] = {
      {"engine with a node", u"QVESERVICE.exe", u"services.exe", u"C:\\NORVA\\QVESERVICE.exe N2", nullptr, nullptr,
       u"N2", u"VELMORA_N2", u"VELMORA (node N2)"},
      {"engine without a node", u"qveservice.EXE", u"services.exe", u"C:\\NORVA\\QVESERVICE.exe", nullptr, nullptr,
       u"", u"VELMORA", u"VELMORA (node )"},
      {"engine path with a blank and no node", u"QVESERVICE.exe", u"services.exe",
       u"C:\\Program Files\\QVESERVICE.exe", nullptr, nullptr, u"Files\\QVESERVICE.exe",
       u"VELMORA_Files\\QVESERVICE.exe", u"VELMORA (node Files\\QVESERVICE.exe)"},
      {"a program started by the external connector", u"HELPER.exe", u"QVXSERVICE.exe", nullptr,
       u"\"C:\\NORVA\\QVXSERVICE.exe\" M1", nullptr, u"M1", u"QTEXTERN_M1", u"QTEXTERN (node M1)"},
      {"the OMA service", u"QVOMASERVICE.exe", u"services.exe", nullptr, nullptr, nullptr, u"", u"QVOMASERVICE_NODE7",
       u""},
      {"the gateway with a node name", u"QVGATEWAY.exe", u"services.exe", nullptr, nullptr, u"GW1", u"", u"GW1",
       u"QVGATEWAY (node GW1)"},
      {"the gateway without a node name", u"QVGATEWAY.exe", u"services.exe", nullptr, nullptr, nullptr, u"",
       u"QVGATEWAY", u"QVGATEWAY"},
  };
  for (const IdentityCase& c : cases) {
    SCOPED_TRACE(c.what);
    MemoryMachine machine;
    ScopedPlatform use(machine);
    Reset();
    machine.SetPhysicalComputerName(u"NODE7");
    machine.AddProcess(200, 4, u"services.exe");
    machine.AddProcess(300, 200, c.parent);
    machine.AddProcess(400, 300, c.self);
    machine.SetCurrentProcess(400);
    const String services = u"SYSTEM\\CurrentControlSet\\services\\";
    if (c.engineImage) machine.SetRegString(RootKey::LocalMachine, services + u"QVESERVICE", u"ImagePath", c.engineImage);
    if (c.connectorImage)
      machine.SetRegString(RootKey::LocalMachine, services + u"QVXSERVICE", u"ImagePath", c.connectorImage);
    if (c.gatewayNode)
      machine.SetRegString(RootKey::LocalMachine, u"Software\\Norva\\Velmora SMTP Gateway", u"GWNODENAME",
                           c.gatewayNode);

    EXPECT_TRUE(DetectServiceIdentity());
    EXPECT_TRUE(RunsAsService());
    EXPECT_EQ(ServiceNode(), c.node);
    EXPECT_EQ(TraceBaseName(), c.baseName);
    EXPECT_EQ(ServiceDisplayName(), c.displayName);
  }
}

TEST_F(ServiceIdentity, ForcedByTheEnvironment) {
  RunAs(u"NOTEPAD.exe", u"explorer.exe");
  m_.SetEnvironmentVariable(u"QV_FORCE_SERVICE", String(u""));
  EXPECT_FALSE(DetectServiceIdentity());  // set but empty: not forced

  m_.SetEnvironmentVariable(u"QV_FORCE_SERVICE", String(u"1"));
  EXPECT_TRUE(DetectServiceIdentity());
  EXPECT_TRUE(RunsAsService());
  EXPECT_EQ(ServiceNode(), u"M3");
  EXPECT_EQ(TraceBaseName(), u"VELMORA_M3");
  EXPECT_EQ(ServiceDisplayName(), u"VELMORA (node M3)");
}

TEST_F(ServiceIdentity, AnInteractiveProgramChangesNothing) {
  RunAs(u"NORVACONNECT.exe", u"explorer.exe");
  EXPECT_FALSE(DetectServiceIdentity());
  EXPECT_FALSE(RunsAsService());
  EXPECT_EQ(TraceBaseName(), u"");
  EXPECT_EQ(ServiceNode(), u"");
  EXPECT_EQ(ServiceDisplayName(), u"");
}

TEST_F(ServiceIdentity, TheProcessTestIsMadeOnceTheRegistryReadEachTime) {
  RunAs(u"QVESERVICE.exe");
  SetImagePath(u"QVESERVICE", u"C:\\NORVA\\QVESERVICE.exe N1");
  ASSERT_TRUE(DetectServiceIdentity());
  EXPECT_EQ(TraceBaseName(), u"VELMORA_N1");

  m_.ResetCounts();
  SetImagePath(u"QVESERVICE", u"C:\\NORVA\\QVESERVICE.exe N4");
  ASSERT_TRUE(DetectServiceIdentity());
  EXPECT_EQ(m_.Count("CreateToolhelp32Snapshot"), 0u);
  EXPECT_EQ(ServiceNode(), u"N4");
  EXPECT_EQ(TraceBaseName(), u"VELMORA_N4");
}
