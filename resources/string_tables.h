// The string tables of both deliverables, as data.
//
// resources/strings_connect.txt (NORVACONNECT.exe) and
// resources/strings_library.txt (QV9REG.DLL) are the one source of these
// texts. The build turns each into a real STRINGTABLE resource for the
// Windows binaries and into the constexpr tables behind this header, so the
// native build and the in-memory machine answer a string-table lookup with
// exactly the texts the Windows binaries carry.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/text.h"

namespace qv::resources {

struct StringEntry {
  std::uint32_t id;
  std::u16string_view text;
};

// Every entry of a table, ids strictly ascending.
std::span<const StringEntry> ConnectTable();
std::span<const StringEntry> LibraryTable();

// The text with this id, or nullptr when the table has none. The strings
// live for the whole process.
const String* ConnectText(std::uint32_t id);
const String* LibraryText(std::uint32_t id);

}  // namespace qv::resources
