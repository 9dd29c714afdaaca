// Shared set-up of the configuration reader's tests: an in-memory machine
// with the \\SRV\NORVA share, the program's own string table, and a test
// double of QV9REG.DLL registered with the machine so that the reader binds
// it by name exactly as it binds the real library.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "locator/qv9reg.h"
#include "platform/memory/memory_machine.h"
#include "platform/seam.h"
#include "platform/sysinfo.h"
#include "platform/timed_message.h"
#include "resources/string_tables.h"
#include "settings/service_identity.h"
#include "settings/suite_settings.h"

namespace qv::testing_settings {

// What the test double of QVGETCFG answers, and what it saw.
struct FakeLocation {
  std::int32_t version = 3;
  std::int32_t result = 0;
  String message;  // written on a failure
  String configFile = u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG";
  String suiteIni = u"C:\\Users\\Admin\\AppData\\Roaming\\Norva\\VELMORA.INI";  // when the buffer is empty
  String tarvex = u"\\\\SRV\\NORVA\\TARVEX\\";
  String server;  // written only when not empty, as the library does
  String netBin = u"\\\\SRV\\NORVA\\NETBIN\\";
  String shareRoot = u"\\\\SRV\\NORVA\\";
  std::uint8_t serverMatch = 0;

  int getCfgCalls = 0;
  int versionCalls = 0;
  std::int32_t versionArgument = 0;
  unsigned char noDialog = 0xFF;
  String iniOnEntry;
  void* module = nullptr;
};

inline FakeLocation* g_fake = nullptr;

inline void Put(QVCHAR* buffer, const String& text) {
  std::size_t n = std::min<std::size_t>(text.size(), 255);
  for (std::size_t i = 0; i < n; ++i) buffer[i] = static_cast<QVCHAR>(text[i]);
  buffer[n] = 0;
}
inline String Get(const QVCHAR* buffer) {
  String s;
  for (; *buffer; ++buffer) s.push_back(static_cast<char16_t>(*buffer));
  return s;
}

extern "C" inline int QVAPI FakeQvGetCfg(QVCHAR* configFile, QVCHAR* suiteIni, QVCHAR* tarvex, QVCHAR* server,
                                         QVCHAR* netBin, QVCHAR* shareRoot, unsigned char* serverMatch,
                                         unsigned char* reserved, QVCHAR* message, unsigned char noDialog,
                                         void* module) {
  FakeLocation& f = *g_fake;
  ++f.getCfgCalls;
  f.noDialog = noDialog;
  f.iniOnEntry = Get(suiteIni);
  f.module = module;
  *reserved = 0;
  if (f.result < 0) {
    Put(message, f.message);
    return f.result;
  }
  Put(configFile, f.configFile);
  if (Get(suiteIni).empty()) Put(suiteIni, f.suiteIni);
  Put(tarvex, f.tarvex);
  if (!f.server.empty()) Put(server, f.server);
  Put(netBin, f.netBin);
  Put(shareRoot, f.shareRoot);
  *serverMatch = f.serverMatch;
  message[0] = 0;
  return f.result;
}

extern "C" inline int QVAPI FakeQvRegVer(int callerVersion) {
  ++g_fake->versionCalls;
  g_fake->versionArgument = callerVersion;
  return g_fake->version;
}

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() : use_(m_) {
    ResetSuiteSettingsForTests();
    ResetServiceIdentityForTests();
    ResetAncestorCacheForTests();
    std::map<std::uint32_t, String> strings;
    for (const auto& e : resources::ConnectTable()) strings[e.id] = String(e.text);
    m_.SetProgramStrings(strings);
    m_.AddRemoteShare(u"SRV", u"NORVA");
    m_.MakeDirectories(u"\\\\SRV\\NORVA\\TARVEX");
    m_.MakeDirectories(u"\\\\SRV\\NORVA\\NETBIN");
    g_fake = &fake_;
  }

  ~SettingsTest() override {
    // A dialog's closing thread talks to this machine: let it finish first.
    for (int i = 0; i < 500 && Tsimplethread::Running() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ResetSuiteSettingsForTests();
    ResetServiceIdentityForTests();
    g_fake = nullptr;
  }

  // The library with the exports asked for, under the given name.
  void RegisterLocator(bool withGetCfg = true, bool withRegVer = true, const String& name = u"QV9REG.DLL") {
    std::map<std::string, void*> exports;
    if (withGetCfg) exports["QVGETCFG"] = reinterpret_cast<void*>(&FakeQvGetCfg);
    if (withRegVer) exports["QVREGVER"] = reinterpret_cast<void*>(&FakeQvRegVer);
    m_.RegisterLibrary(name, exports);
  }

  void WriteConfig(std::string_view text) { m_.WriteTextFile(fake_.configFile, text); }

  // A quiet load of this configuration text through the registered double.
  std::int32_t LoadConfig(std::string_view text) {
    if (!registered_) {
      RegisterLocator();
      registered_ = true;
    }
    WriteConfig(text);
    return LoadSuiteSettings(true, true, true);
  }

  SuiteSettings& S() { return Settings(); }

  platform::MemoryMachine m_;
  platform::ScopedPlatform use_;
  FakeLocation fake_;
  bool registered_ = false;
};

// Joins lines with CR LF.
inline std::string Lines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (std::string_view l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

}  // namespace qv::testing_settings
