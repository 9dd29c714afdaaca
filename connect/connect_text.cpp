#include "connect/connect_text.h"

#include "platform/seam.h"
#include "resources/string_tables.h"

namespace qv::connect {

String ConnectMessage(std::uint32_t id) {
  String text = platform::Current().LoadString(0, id);
  if (!text.empty()) return text;
  const String* builtIn = resources::ConnectText(id);
  return builtIn ? *builtIn : String();
}

}  // namespace qv::connect
