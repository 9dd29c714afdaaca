#include "connect/validate_source.h"

#include <vector>

#include "connect/connect_context.h"
#include "connect/connect_driver.h"
#include "connect/connect_text.h"
#include "connect/share_enum.h"
#include "platform/seam.h"

namespace qv::connect {

namespace {

constexpr std::uint32_t kMsgNotOnShare = 64912;
constexpr std::uint32_t kMsgSubfolder = 64913;
constexpr std::uint32_t kMsgSubst = 64914;
constexpr std::uint32_t kMsgIpAddress = 64920;
constexpr std::uint32_t kAskSharedFolder = 64940;
constexpr std::uint32_t kAskSharedBesideNorva = 64941;
constexpr std::uint32_t kAskMappedNorva = 64942;
constexpr std::uint32_t kAskMappedNorvaFolder = 64943;

String ProgramFile() { return platform::Current().ModuleFileName(0); }

// The text after the last backslash (the whole text without one).
String LastComponent(const String& path) {
  const std::size_t slash = path.rfind(u'\\');
  return slash == String::npos ? path : path.substr(slash + 1);
}

int IndexOf(const std::vector<String>& list, StringView text) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (EqualsNoCaseAscii(list[i], text)) return static_cast<int>(i);
  return -1;
}

// True when \\<name>\share names this computer: the characters of the
// universal name from the third on, as many as the computer name has, are
// the computer name.
bool NamesThisComputer(const String& universal, const String& computer) {
  if (universal.size() < 2) return false;
  return EqualsNoCaseAscii(StringView(universal).substr(2, computer.size()), computer);
}

// \\host\share: is "host" written as an IPv4 address (digits and exactly
// three dots)?
bool HostIsIpAddress(const String& path) {
  const std::size_t last = path.rfind(u'\\');
  if (last == String::npos || last < 3) return false;
  // Up to and including the last backslash, without the first two
  // characters and without the last one.
  const String host = path.substr(2, last - 2);
  if (host.empty()) return false;
  int dots = 0;
  for (char16_t c : host) {
    if (c == u'.')
      ++dots;
    else if (c < u'0' || c > u'9')
      return false;
  }
  return dots == 3;
}

bool IsShareWithDataFolders(const String& unc) {
  auto& p = platform::Current();
  return p.DirectoryExists(unc) && p.DirectoryExists(unc + u"\\TARVEX") && p.DirectoryExists(unc + u"\\NETBIN");
}

// A mapped drive of another machine, universal name u. False when it ended
// in a failure.
bool SettleMappedDrive(ConnectContext& ctx, const String& u) {
  ConnectTrace(u"Universalname: %s", u);
  const std::size_t last = u.rfind(u'\\');
  const String p = last == String::npos ? String() : u.substr(0, last);
  const String s = last == String::npos ? u : u.substr(last + 1);
  if (p.size() > 2 && StringView(p).substr(2, 256).find(u'\\') != StringView::npos) {
    ctx.ConnectError = Format(ConnectMessage(kMsgSubfolder), ProgramFile());
    return false;
  }
  bool ask = false;
  String question;
  if (EqualsNoCaseAscii(s, u"NORVA")) {
    question = Format(ConnectMessage(kAskMappedNorva), ctx.ConnectPath, ctx.ConnectPath, p);
    ask = true;
  } else if (platform::Current().DirectoryExists(p + u"\\TARVEX") &&
             platform::Current().DirectoryExists(p + u"\\NETBIN")) {
    question = Format(ConnectMessage(kAskMappedNorvaFolder), ctx.ConnectPath, ctx.ConnectPath, p);
    ask = true;
  }
  if (ask) {
    AskConnectQuestion(question);
    ctx.ConnectPath = WithoutTrailingBackslash(u);
  }
  return true;
}

// Not a mapped drive of another machine: this machine's own shares decide.
bool SettleLocalFolder(ConnectContext& ctx, std::uint32_t universalError) {
  ConnectTrace(u"No universalname for: %s (Windows error %d)", ctx.ConnectPath, universalError);
  std::vector<String> names, paths;
  EnumerateDiskShares(names, paths);
  if (names.empty()) {
    ctx.ConnectError = Format(ConnectMessage(kMsgNotOnShare), ProgramFile());
    return false;
  }
  const int iN = IndexOf(names, u"NORVA");
  const int iP = IndexOf(paths, ctx.ConnectPath);

  if (iN >= 0 && EqualsNoCaseAscii(LastComponent(ctx.ConnectPath), u"NORVA") && iN == iP) {
    // The local folder of this machine's own NORVA share.
    ConnectTrace(u"Local Norva share: %s", paths[iN]);
    const String candidate = u"\\\\" + ctx.ComputerName + u"\\NORVA";
    if (!IsShareWithDataFolders(candidate)) {
      ctx.ConnectError = Format(ConnectMessage(kMsgNotOnShare), ProgramFile());
      return false;
    }
    ConnectTrace(u"Set source to: %s", paths[iN]);
    ctx.ConnectPath = candidate;
    return true;
  }
  if (iP >= 0) {
    // A shared folder: offer its share (also when another share is NORVA).
    ConnectTrace(u"Local %s share: %s", names[iP], paths[iP]);
    const String candidate = u"\\\\" + ctx.ComputerName + u"\\" + names[iP];
    if (IsShareWithDataFolders(candidate)) {
      if (iN < 0)
        AskConnectQuestion(Format(ConnectMessage(kAskSharedFolder), paths[iP], candidate));
      else
        AskConnectQuestion(Format(ConnectMessage(kAskSharedBesideNorva), paths[iP], candidate, paths[iN]));
      ctx.ConnectPath = candidate;
    }
    return true;
  }
  // The folder is not shared at all.
  ctx.ConnectError = Format(ConnectMessage(kMsgNotOnShare), ProgramFile());
  return false;
}

}  // namespace

void ValidateSourcePath() {
  ConnectContext& ctx = Connect();
  auto& p = platform::Current();

  if (!StartsWithNoCaseAscii(ctx.ConnectPath, u"\\\\")) {
    if (ctx.ConnectPath.size() >= 2 && ctx.ConnectPath[1] == u':') {
      const String drive = ctx.ConnectPath.substr(0, 2);
      std::vector<String> targets;
      if (p.QueryDosDevice(drive, targets) == platform::kOk && !targets.empty() &&
          targets.front().compare(0, 4, u"\\??\\") == 0) {
        ctx.ConnectError = Format(ConnectMessage(kMsgSubst), drive, drive);
        return;
      }
    }
    String universal;
    const std::uint32_t rc = p.GetUniversalName(ctx.ConnectPath + u"\\", universal);
    const bool remote = rc == platform::kOk && !NamesThisComputer(universal, ctx.ComputerName);
    const bool settled = remote ? SettleMappedDrive(ctx, universal) : SettleLocalFolder(ctx, rc);
    if (!settled) return;
  }

  if (HostIsIpAddress(ctx.ConnectPath)) {
    ctx.ConnectError = Format(ConnectMessage(kMsgIpAddress), ctx.ConnectPath);
    return;
  }
  ConnectTrace(u"Using %s as pathname", ctx.ConnectPath);
  ctx.ConnectPath = WithTrailingBackslash(ctx.ConnectPath);
}

}  // namespace qv::connect
