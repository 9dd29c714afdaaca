#include "connect/message_dialog.h"

#include "platform/seam.h"

namespace qv::connect {

namespace {
int g_dialogWidth = kDefaultDialogWidth;

// The program file's name without folder and extension.
String ProgramName() {
  const String path = platform::Current().ModuleFileName(0);
  const std::size_t slash = path.find_last_of(u"\\/");
  String name = slash == String::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind(u'.');
  if (dot != String::npos) name.erase(dot);
  return name;
}

const char16_t* KindSuffix(std::uint8_t kind) {
  switch (kind) {
    case kDialogWarning: return u"Warning";
    case kDialogError: return u"Error";
    case kDialogInformation: return u"Information";
    case kDialogConfirmation: return u"Confirm";
    default: return nullptr;
  }
}
}  // namespace

void SetDialogWidth(int width) { g_dialogWidth = width; }

int DialogWidth() { return g_dialogWidth; }

String DialogTitle(std::uint8_t kind) {
  String title = u"  " + ProgramName();
  if (const char16_t* suffix = KindSuffix(kind)) title += String(u": ") + suffix;
  return title;
}

std::uint16_t TimedMessageDialog(StringView text, std::uint8_t kind, std::uint16_t buttons, int seconds,
                                 StringView detail) {
  platform::DialogRequest request;
  request.title = DialogTitle(kind);
  request.message = String(text);
  request.detail = String(detail);
  request.kind = kind;
  request.buttons = buttons;
  request.seconds = seconds;
  request.width = g_dialogWidth;
  const int result = platform::Current().ShowDialog(request);
  g_dialogWidth = kDefaultDialogWidth;
  return static_cast<std::uint16_t>(result);
}

std::uint16_t MessageDialog(StringView text, std::uint8_t kind, std::uint16_t buttons, StringView detail) {
  return TimedMessageDialog(text, kind, buttons, 0, detail);
}

}  // namespace qv::connect
