// Lookup over the generated tables (see string_tables.h).
#include "resources/string_tables.h"

#include <algorithm>
#include <vector>

namespace qv::resources {
namespace {

// One table's entries as Strings, built once on first use, in table order.
class TextIndex {
 public:
  explicit TextIndex(std::span<const StringEntry> entries) : entries_(entries) {
    texts_.reserve(entries.size());
    for (const StringEntry& e : entries) texts_.emplace_back(e.text);
  }

  const String* Find(std::uint32_t id) const {
    auto it = std::lower_bound(entries_.begin(), entries_.end(), id,
                               [](const StringEntry& e, std::uint32_t v) { return e.id < v; });
    if (it == entries_.end() || it->id != id) return nullptr;
    return &texts_[static_cast<std::size_t>(it - entries_.begin())];
  }

 private:
  std::span<const StringEntry> entries_;
  std::vector<String> texts_;
};

}  // namespace

const String* ConnectText(std::uint32_t id) {
  static const TextIndex index(ConnectTable());
  return index.Find(id);
}

const String* LibraryText(std::uint32_t id) {
  static const TextIndex index(LibraryTable());
  return index.Find(id);
}

}  // namespace qv::resources
