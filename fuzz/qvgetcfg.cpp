// QVGETCFG on the in-memory machine with the connection file, the share's
// QVLINK.INI, TARVEX\QTCFG.INI and the user's VELMORA.INI taken from the
// input (parts split at "\n--\n"; a missing part means no such file). Every
// buffer has its documented size followed by guard characters that must stay
// untouched; the result is 0 or one of the documented codes; every buffer the
// call wrote is terminated inside its size.
#include <algorithm>
#include <map>

#include "fuzz/reused_machine.h"
#include "fuzz/targets.h"
#include "locator/locator.h"
#include "platform/memory/memory_machine.h"
#include "resources/string_tables.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

namespace {

constexpr char16_t kGuard = 0xBEEF;
constexpr std::size_t kGuardChars = 32;

platform::Handle library = 0;  // QV9REG.DLL, loaded on the reused machine

struct Buffer {
  explicit Buffer(std::size_t chars) : chars(chars), data(chars + kGuardChars, kGuard) {
    std::fill_n(data.begin(), chars, u'#');
    data[0] = 0;
  }
  char16_t* p() { return data.data(); }
  bool GuardIntact() const {
    return std::all_of(data.begin() + static_cast<std::ptrdiff_t>(chars), data.end(),
                       [](char16_t c) { return c == kGuard; });
  }
  bool Terminated() const {
    return std::find(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(chars), char16_t(0)) !=
           data.begin() + static_cast<std::ptrdiff_t>(chars);
  }
  std::size_t chars;
  std::vector<char16_t> data;
};

}  // namespace

extern "C" int Fuzz_qvgetcfg(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 4);
  // The machine with the library and both shares is built once; the input's
  // four files are written anew for every input.
  static fuzz::ReusedMachine fixture([](platform::MemoryMachine& m) {
    std::map<std::uint32_t, String> strings;
    for (const resources::StringEntry& e : resources::LibraryTable()) strings[e.id] = String(e.text);
    m.RegisterLibrary(u"QV9REG.DLL", {}, strings);
    std::uint32_t error = 0;
    library = m.LoadLibrary(u"QV9REG.DLL", error);
    m.AddRemoteShare(u"SRV", u"NORVA");
    m.AddRemoteShare(u"OTHER", u"DATA");
    m.MakeDirectories(u"\\\\SRV\\NORVA\\NETBIN");
    m.MakeDirectories(u"\\\\OTHER\\DATA\\TARVEX");
  });
  platform::MemoryMachine& machine = fixture.Begin();
  platform::ScopedPlatform use(machine);
  locator::ResetState();
  fixture.WriteFile(u"\\\\SRV\\NORVA\\TARVEX\\TARVEX.CFG", std::string_view("$request_dir x\r\n"));
  const String files[] = {u"C:\\ProgramData\\Norva\\NorvaConnect.INI", u"\\\\SRV\\NORVA\\QVLINK.INI",
                          u"\\\\SRV\\NORVA\\TARVEX\\QTCFG.INI",
                          u"C:\\Users\\Admin\\AppData\\Roaming\\Norva\\Velmora.INI"};
  for (std::size_t i = 0; i < 4; ++i) {
    if (i < parts.size())
      fixture.WriteFile(files[i], parts[i]);
    else
      fixture.Absent(files[i]);
  }
  // Files the locator looks for that no input writes: the all-users
  // Velmora.INI and the link and pointer files of the other share.
  for (const char16_t* absent : {u"C:\\ProgramData\\Norva\\Velmora.INI", u"\\\\SRV\\NORVA\\QTCFG.INI",
                                 u"\\\\OTHER\\DATA\\QVLINK.INI", u"\\\\OTHER\\DATA\\QTCFG.INI",
                                 u"\\\\OTHER\\DATA\\TARVEX\\QTCFG.INI"})
    fixture.Absent(absent);

  Buffer configFile(locator::kPathBufferChars), suiteIni(locator::kPathBufferChars),
      tarvex(locator::kPathBufferChars), server(locator::kPathBufferChars), netBin(locator::kPathBufferChars),
      root(locator::kPathBufferChars), message(locator::kMessageBufferChars);
  std::uint8_t serverMatch = 7, reserved = 0xFF;
  const std::int32_t rc = locator::QvGetCfg(configFile.p(), suiteIni.p(), tarvex.p(), server.p(), netBin.p(),
                                            root.p(), &serverMatch, &reserved, message.p(), 1, library);
  fuzz::Trace("result %d", static_cast<int>(rc));

  for (const Buffer* b : {&configFile, &suiteIni, &tarvex, &server, &netBin, &root, &message}) {
    FuzzCheck(b->GuardIntact(), "nothing is written past a buffer's documented size");
    FuzzCheck(b->Terminated(), "every buffer stays terminated inside its size");
  }
  static const std::int32_t kCodes[] = {0,    -941, -903, -904, -943, -944, -945,
                                        -946, -947, -948, -949, -950};
  FuzzCheck(std::find(std::begin(kCodes), std::end(kCodes), rc) != std::end(kCodes),
            "the result is 0 or a documented code");
  FuzzCheck(reserved == 0, "reserved is always 0");
  if (rc == 0) {
    FuzzCheck(message.data[0] == 0, "the message is cleared on success");
    FuzzCheck(serverMatch == 0 || serverMatch == 1, "serverMatch is 0 or 1");
  } else {
    FuzzCheck(message.data[0] != 0, "a failure has its message");
    FuzzCheck(serverMatch == 7, "serverMatch is not written on failure");
  }
  FuzzCheck(machine.OpenFileCount() == 0, "no file is left open");
  locator::ResetState();
  fixture.End();
  return 0;
}
