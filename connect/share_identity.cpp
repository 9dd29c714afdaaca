#include "connect/share_identity.h"

#include "connect/connect_context.h"
#include "connect/connect_text.h"
#include "platform/ini.h"
#include "platform/seam.h"

namespace qv::connect {

namespace {
constexpr std::uint32_t kMsgNoDataFolders = 64915;
constexpr std::uint32_t kMsgNoQtcfg = 64917;
constexpr std::uint32_t kMsgNoExpectedPath = 64919;
constexpr std::uint32_t kMsgOtherPath = 64921;
}  // namespace

void CheckShareIdentity() {
  ConnectContext& ctx = Connect();
  auto& p = platform::Current();

  // Optional redirection of the two folders.
  ctx.LinkFilePath = ctx.ConnectPath + u"QVLINK.INI";
  String linkedData, linkedNetbin;
  if (p.FileExists(ctx.LinkFilePath)) {
    std::uint32_t status = 0;
    const IniFile link = IniFile::Load(ctx.LinkFilePath, &status);
    if (status != platform::kOk) {
      ctx.ConnectError = RuntimeFaultText(status);
      return;
    }
    linkedData = link.Get(u"NorvaAppdata", u"UNCname");
    linkedNetbin = link.Get(u"NorvaNetbin", u"UNCname");
  }

  auto folder = [&](const String& linked, const char16_t* name) {
    if (!linked.empty()) return linked;
    const String own = ctx.ConnectPath + name;
    return p.DirectoryExists(own) ? own : String();
  };
  ctx.DataFolder = folder(linkedData, u"TARVEX");
  ctx.NetbinFolder = folder(linkedNetbin, u"NETBIN");
  if (ctx.DataFolder.empty() || ctx.NetbinFolder.empty()) {
    ctx.ConnectError = ConnectMessage(kMsgNoDataFolders);
    return;
  }
  ctx.DataFolder = WithTrailingBackslash(ctx.DataFolder);
  ctx.NetbinFolder = WithTrailingBackslash(ctx.NetbinFolder);

  const String qtcfg = ctx.DataFolder + u"QTCFG.INI";
  if (!p.FileExists(qtcfg)) {
    ctx.ConnectError = ConnectMessage(kMsgNoQtcfg);
    return;
  }
  std::uint32_t status = 0;
  const IniFile config = IniFile::Load(qtcfg, &status);
  if (status != platform::kOk) {
    ctx.ConnectError = RuntimeFaultText(status);
    return;
  }
  ctx.ExpectedUNCPath = config.Get(u"QTCONFIG", u"ExpectedUNCpath");
  if (ctx.ExpectedUNCPath.empty()) {
    ctx.ConnectError = ConnectMessage(kMsgNoExpectedPath);
    return;
  }
  ctx.ExpectedUNCPath = WithTrailingBackslash(ctx.ExpectedUNCPath);
  if (!EqualsNoCaseAscii(ctx.ExpectedUNCPath, ctx.ConnectPath))
    ctx.ConnectError = Format(ConnectMessage(kMsgOtherPath), ctx.ExpectedUNCPath, ctx.ConnectPath);
}

}  // namespace qv::connect
