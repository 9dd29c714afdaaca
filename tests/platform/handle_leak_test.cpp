// The services that open handles let every one go on every way out: after
// a failure or a fault (an exception thrown from inside an operation) at
// any call, the machine holds no more open handles than before.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "connect/system_environment.h"
#include "events/event_log.h"
#include "platform/memory/memory_machine.h"
#include "platform/registry.h"
#include "platform/run_and_wait.h"
#include "trace/trace_files.h"

using namespace qv;
using namespace qv::platform;

namespace {

// Everything the machine holds open.
struct OpenHandles {
  std::size_t files, keys, processes, eventSources, mappings, views;
  std::uint32_t libraryRefs;
  bool operator==(const OpenHandles&) const = default;
};

OpenHandles Held(const MemoryMachine& m) {
  return {m.OpenFileCount(),        m.OpenKeyCount(),     m.OpenProcessHandleCount(), m.OpenEventSourceCount(),
          m.OpenMappingCount(),     m.MappedViewCount(), m.LibraryRefCount(u"QV9REG.DLL")};
}

std::string Describe(const OpenHandles& h) {
  return "files " + std::to_string(h.files) + ", keys " + std::to_string(h.keys) + ", processes " +
         std::to_string(h.processes) + ", event sources " + std::to_string(h.eventSources) + ", mappings " +
         std::to_string(h.mappings) + ", views " + std::to_string(h.views) + ", library references " +
         std::to_string(h.libraryRefs);
}

void Stage(MemoryMachine& m) {
  ASSERT_TRUE(m.WriteTextFile(u"C:\\DATA\\X.TXT", "contents"));
  m.SetRegString(RootKey::CurrentUser, u"Software\\Norva\\Test", u"Name", u"value");
  m.CreateRegKeyDirect(RootKey::LocalMachine, connect::kEnvironmentKey);
  m.SetProgramBehaviour(u"WORKER.EXE", {0, 1500, 4, false});
  auto* engine = m.HoldSharedMemory(u"TarvexFGN1", 12);
  const std::uint32_t signature = kEngineSignature1;
  std::memcpy(engine + 8, &signature, 4);
}

TEST(HandleLeaks, NoServiceLeavesAHandleOpenAfterAFailureOrFaultAtAnyCall) {
  struct Service {
    const char* name;
    std::function<void()> call;
  };
  const Service services[] = {
      {"ReadWholeFile",
       [] {
         Bytes bytes;
         Current().ReadWholeFile(u"C:\\DATA\\X.TXT", bytes);
       }},
      {"WriteWholeFile", [] { Current().WriteWholeFile(u"C:\\DATA\\Y.TXT", Bytes{1, 2, 3}); }},
      {"ReadRegString", [] { ReadRegString(RootKey::CurrentUser, u"Software\\Norva\\Test", u"Name", u""); }},
      {"WriteRegString",
       [] { WriteRegString(RootKey::CurrentUser, u"Software\\Norva\\New", u"Name", u"text", RegType::Sz); }},
      {"RunAndWait", [] { RunAndWait(u"worker.exe /x", u"", 5, 0); }},
      {"WriteEvent", [] { WriteEvent(u"text", kEventInformation, 0, u"QV9REG"); }},
      {"RequestEngineFlush", [] { RequestEngineFlush(u"N1"); }},
      {"SetTarvexDir", [] { connect::SetTarvexDir(u"\\\\SRV\\NORVA\\TARVEX\\", false); }},
  };
  // Letting a handle go cannot fail; the clock only passes.
  const std::set<std::string> releases = {"CloseHandle", "RegCloseKey", "FreeLibrary", "DeregisterEventSource",
                                          "UnmapViewOfFile", "Sleep"};
  for (const Service& service : services) {
    SCOPED_TRACE(service.name);
    std::map<std::string, std::uint64_t> counts;
    {
      MemoryMachine m;
      ScopedPlatform use(m);
      Stage(m);
      const OpenHandles before = Held(m);
      m.ResetCounts();
      service.call();
      EXPECT_EQ(Held(m), before) << Describe(Held(m));
      counts = m.Counts();
    }
    // Each service opens something, or there is nothing to check.
    ASSERT_TRUE(counts.count("CloseHandle") || counts.count("RegCloseKey") || counts.count("DeregisterEventSource"));
    for (const auto& [op, calls] : counts) {
      if (releases.count(op)) continue;
      for (std::uint64_t nth = 1; nth <= calls; ++nth) {
        for (const std::uint32_t error : {kErrAccessDenied, MemoryMachine::kFaultThrows}) {
          SCOPED_TRACE(op + " call " + std::to_string(nth) + (error == kErrAccessDenied ? " fails" : " throws"));
          MemoryMachine m;
          ScopedPlatform use(m);
          Stage(m);
          const OpenHandles before = Held(m);
          m.InjectFailure(op, static_cast<std::uint32_t>(nth), error);
          try {
            service.call();
          } catch (const std::exception&) {
            // A fault or a failure raised as an error: the handles still go.
          }
          m.ClearFailures();
          EXPECT_EQ(Held(m), before) << Describe(Held(m));
        }
      }
    }
  }
}

}  // namespace
