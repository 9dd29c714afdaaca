// The five exports of QV9REG.DLL: C functions with undecorated names (see
// qv9reg.def) over the library's logic. QVCHAR is wchar_t on Windows, 16
// bits wide, the same code units as char16_t.
#include "locator/qv9reg.h"

#include <cstdint>

#include "locator/locator.h"

static_assert(sizeof(QVCHAR) == sizeof(char16_t), "QVCHAR must be a 16-bit code unit");

namespace {
char16_t* Chars(QVCHAR* p) { return reinterpret_cast<char16_t*>(p); }
const char16_t* Chars(const QVCHAR* p) { return reinterpret_cast<const char16_t*>(p); }
qv::locator::Handle ModuleOf(void* module) { return reinterpret_cast<qv::locator::Handle>(module); }
}  // namespace

extern "C" {

int QVAPI QVGETNAD(QVCHAR* tarvexFolder, QVCHAR* netBinFolder, QVCHAR* shareRoot, QVCHAR* connectIniPath,
                   QVCHAR* configFilePath, QVCHAR* message, unsigned char noDialog, void* messageModule) {
  return qv::locator::QvGetNad(Chars(tarvexFolder), Chars(netBinFolder), Chars(shareRoot), Chars(connectIniPath),
                               Chars(configFilePath), Chars(message), noDialog, ModuleOf(messageModule));
}

int QVAPI QVGETINI(QVCHAR* suiteIniPath, const QVCHAR* options, QVCHAR* message, unsigned char noDialog,
                   void* messageModule) {
  return qv::locator::QvGetIni(Chars(suiteIniPath), Chars(options), Chars(message), noDialog, ModuleOf(messageModule));
}

int QVAPI QVGETCFG(QVCHAR* configFilePath, QVCHAR* suiteIniPath, QVCHAR* tarvexFolder, QVCHAR* serverFolder,
                   QVCHAR* netBinFolder, QVCHAR* shareRoot, unsigned char* serverMatch, unsigned char* reserved,
                   QVCHAR* message, unsigned char noDialog, void* messageModule) {
  return qv::locator::QvGetCfg(Chars(configFilePath), Chars(suiteIniPath), Chars(tarvexFolder), Chars(serverFolder),
                               Chars(netBinFolder), Chars(shareRoot), serverMatch, reserved, Chars(message), noDialog,
                               ModuleOf(messageModule));
}

void QVAPI QVGETERM(QVCHAR* text, int number, int size) { qv::locator::QvGetTerm(Chars(text), number, size); }

int QVAPI QVREGVER(int callerVersion) { return qv::locator::QvRegVer(callerVersion); }

}  // extern "C"
