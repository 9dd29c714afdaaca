// qvalert CATEGORY SUBJECT BODY [--node NAME] [--html HTML] [--detail N]
// qvalert --explain CATEGORY [--node NAME] [--detail N]
//
// The first form raises an alert exactly as a suite program does (settings
// read quietly first, then RaiseAlert) and prints the result and what it
// means. The second changes nothing: it shows why an alert of the category
// would or would not go out now.
#include <cstdio>
#include <string>
#include <vector>

#include "events/alert.h"
#include "events/alert_report.h"
#include "platform/seam.h"
#include "settings/suite_settings.h"

namespace {

int Usage(const char* problem) {
  std::fprintf(stderr, "qvalert: %s\n", problem);
  std::fprintf(stderr,
               "usage: qvalert CATEGORY SUBJECT BODY [--node NAME] [--html HTML] [--detail N]\n"
               "       qvalert --explain CATEGORY [--node NAME] [--detail N]\n");
  return 2;
}

void Print(const qv::String& text) {
  const std::string utf8 = qv::ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
  qv::platform::Platform& os = qv::platform::Current();
  bool explain = false;
  qv::String node, html;
  std::int64_t detail = 0;
  std::vector<qv::String> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)what;
      return argv[++i];
    };
    if (arg == "--explain") {
      explain = true;
    } else if (arg == "--node") {
      const char* v = value("--node");
      if (!v) return Usage("--node needs a name");
      node = os.AnsiToWide(v);
    } else if (arg == "--html") {
      const char* v = value("--html");
      if (!v) return Usage("--html needs a text");
      html = os.AnsiToWide(v);
    } else if (arg == "--detail") {
      const char* v = value("--detail");
      if (!v || !qv::ParseInt64(os.AnsiToWide(v), detail)) return Usage("--detail needs a number");
    } else if (arg.rfind("--", 0) == 0) {
      return Usage(("unknown switch " + arg).c_str());
    } else {
      words.push_back(os.AnsiToWide(arg));
    }
  }
  if (explain ? words.size() != 1 : words.size() != 3) return Usage("wrong number of arguments");
  if (words[0].empty()) return Usage("the category is empty");

  // As a suite program: the settings are read (quietly) before any alert.
  const std::int32_t load = qv::LoadSuiteSettings(false, false, true);
  Print(load == 0 ? u"settings: read from " + qv::Settings().ConfigFile + u"\n"
                  : qv::Format(u"settings: not read (%d)", load) + u"\n");

  if (explain) {
    Print(qv::ExplainAlert(words[0], detail, node, u"<subject>", u"<body>"));
    return 0;
  }
  const qv::AlertState before = qv::ReadAlertState(words[0], detail);
  const bool anyRun = !before.recipients.empty() || before.norva != 0;  // a run of the sender is made
  const std::int32_t result = qv::RaiseAlert(words[0], words[1], words[2], detail, html, node);
  Print(qv::Format(u"result: %d (", result) + qv::AlertResultMeaning(result, before, anyRun) + u")\n");
  return result == 0 ? 0 : 1;
}
