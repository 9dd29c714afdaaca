#include "connect/connect_driver.h"

#include <cstdlib>
#include <exception>
#include <memory>

#include "connect/build_identity.h"
#include "connect/command_line.h"
#include "connect/config_status.h"
#include "connect/connect_context.h"
#include "connect/connect_text.h"
#include "connect/dmfilesec.h"
#include "connect/message_dialog.h"
#include "connect/record_connection.h"
#include "connect/share_identity.h"
#include "connect/shortcuts.h"
#include "connect/system_environment.h"
#include "connect/validate_source.h"
#include "platform/seam.h"
#include "trace/trace.h"

namespace qv::connect {

namespace {

constexpr std::uint32_t kQuestionPauseMs = 250;
constexpr std::uint32_t kReportPauseMs = 500;

// Pauses, then ends the process with the exit code.
[[noreturn]] void EndAfter(std::uint32_t pauseMs, std::uint32_t exitCode) {
  auto& p = platform::Current();
  p.Sleep(pauseMs);
  p.ExitProcess(exitCode);
  std::abort();  // ExitProcess does not return
}

// Runs one phase. A fault that escapes it becomes the run's failure text,
// so that the run still ends with one report and exit code 1.
template <typename Phase>
bool RunPhase(Phase phase) {
  ConnectContext& ctx = Connect();
  try {
    phase();
  } catch (const std::exception& e) {
    if (ctx.ConnectError.empty()) ctx.ConnectError = RuntimeFaultText(FromUtf8(e.what()));
  }
  return ctx.ConnectError.empty();
}

[[noreturn]] void FinalReport() {
  ConnectContext& ctx = Connect();
  const int status = ConfigurationStatus();
  if (status < 0 || !ctx.ConnectError.empty()) {
    // A failed configuration load always carries a text of its own.
    if (ctx.ConnectError.empty())
      ctx.ConnectError = Format(u"The connect operation has failed (%d) for %s", status, ctx.DataFolder);
    if (HasSwitch(u'q'))
      TimedMessageDialog(ctx.ConnectError, kDialogError, kDlgOk, -2);
    else
      MessageDialog(ctx.ConnectError, kDialogError, kDlgOk);
    EndAfter(kReportPauseMs, 1);
  }
  TimedMessageDialog(u"Connected successfully to " + ctx.ConnectPath, kDialogInformation, kDlgOk, 3);
  EndAfter(kReportPauseMs, 0);
}

std::unique_ptr<TDMfilesec> g_fileSecurity;
std::unique_ptr<TDataModule2> g_driver;

}  // namespace

void AskConnectQuestion(StringView text) {
  const ConnectContext& ctx = Connect();
  const std::uint16_t answer = HasSwitch(u'q')
                                   ? TimedMessageDialog(text, kDialogError, kDlgYes | kDlgNo, ctx.QuestionTimeout)
                                   : MessageDialog(text, kDialogError, kDlgYes | kDlgNo);
  // Only a Yes goes on: a dialog that could not be shown is no consent.
  if (answer == kResultYes) return;
  EndAfter(kQuestionPauseMs, 1);
}

bool IsProcessElevated() {
  bool elevated = false;
  return platform::Current().GetTokenElevation(elevated) == platform::kOk && elevated;
}

void RunConnect() {
  ConnectContext& ctx = Connect();
  auto& p = platform::Current();

  String computer;
  if (p.GetComputerName(computer) == platform::kOk) ctx.ComputerName = computer.substr(0, 255);
  ctx.QuestionTimeout = HasSwitch(u'n') ? -2 : 2;
  SetDialogWidth(600);
  ctx.ProcessElevated = IsProcessElevated();
  const String program = p.ModuleFileName(0);
  const std::size_t slash = program.rfind(u'\\');
  ctx.ConnectPath = slash == String::npos ? String() : program.substr(0, slash);
  ConnectTrace(u"Application path: %s", ctx.ConnectPath);

  if (RunPhase(ValidateSourcePath) && RunPhase(CheckShareIdentity) && RunPhase(RecordConnection) &&
      RunPhase(UpdateSystemEnvironment) && RunPhase(UpdateShortcuts))
    ctx.ConnectError.clear();
  FinalReport();
}

void TDataModule2::DataModuleCreate() { RunConnect(); }

TDMfilesec& FileSecurityModule() {
  if (!g_fileSecurity) g_fileSecurity = std::make_unique<TDMfilesec>();
  return *g_fileSecurity;
}

void RunProgram(std::vector<String> arguments) {
  SetProgramArguments(std::move(arguments));
  ResetConnectContext();
  StoreBuildIdentity();
  InitTrace(u"", u"");
  // Creating the module looks up the local Users and Power Users names.
  g_fileSecurity = std::make_unique<TDMfilesec>();
  g_driver = std::make_unique<TDataModule2>();
  g_driver->DataModuleCreate();
}

}  // namespace qv::connect
