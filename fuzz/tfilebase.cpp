// TFileBase: load from bytes in each encoding, Pack, keyword lookups over the
// keywords found, SetToken, then save and reload. The reloaded list must hold
// the same lines as the saved one.
#include <algorithm>
#include <optional>

#include "cmdfile/tfilebase.h"
#include "fuzz/targets.h"
#include "platform/memory/memory_machine.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

namespace {

// Well-formed UTF-16: UTF-8 can then hold every character.
bool WellFormed(const String& s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int Fuzz_tfilebase(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static platform::MemoryMachine machine;
  platform::ScopedPlatform use(machine);

  // Byte 0: the caller's encoding (or none), the indentation and minimum
  // keyword size; byte 1: which token SetToken changes.
  const std::uint8_t how = data[0];
  const std::uint8_t which = data[1];
  const Bytes bytes(data + 2, data + size);
  std::optional<TextEncoding> encoding;
  if ((how & 7) < 5) encoding = static_cast<TextEncoding>(how & 7);

  TFileBase list;
  list.SetDiscardcomments((how & 0x40) != 0);
  if (list.LoadFromBytes(bytes, encoding) != 0) return 0;
  if (how & 0x08) list.SetIndented(true);
  if (how & 0x10) list.SetMinKeySize(12);
  list.Pack();

  // Every keyword met, looked up by instance and token, with and without quotes.
  std::vector<String> keywords;
  for (int i = 0; i < list.Count() && keywords.size() < 32; ++i) {
    const TokenList& tokens = list.GetSL(i);
    if (!tokens.empty() && std::find(keywords.begin(), keywords.end(), tokens[0]) == keywords.end())
      keywords.push_back(tokens[0]);
  }
  for (const String& keyword : keywords) {
    for (int inst = 1; inst <= 3; ++inst) {
      for (int token = 0; token < 4; ++token) {
        const String value = list.GetToken(keyword, inst, token);
        const String text = list.GetSqToken(keyword, inst, token);
        if (!value.empty()) {
          FuzzCheck(list.LastIndex() >= 0 && list.LastIndex() < list.Count(), "LastIndex names a line");
          FuzzCheck(UnquoteToken(value) == text, "GetSqToken is GetToken unquoted");
        }
      }
    }
  }

  // SetToken with a value made of the input's own text (no line breaks: a
  // token never holds one), then Pack rebuilds the texts.
  if (list.Count() > 0) {
    String value;
    for (std::size_t i = 0; i < bytes.size() && value.size() < 16; ++i)
      if (bytes[i] != '\r' && bytes[i] != '\n' && bytes[i] >= 0x20 && bytes[i] < 0x7F) value.push_back(bytes[i]);
    list.SetToken(which % list.Count(), (which >> 4) & 3, value);
    list.Pack();
  }

  const String saved = list.ToText();
  std::vector<TextEncoding> encodings = {TextEncoding::Utf16LE, TextEncoding::Utf16BE};
  if (WellFormed(saved)) encodings.push_back(TextEncoding::Utf8);
  for (TextEncoding e : encodings) {
    Bytes image;
    FuzzCheck(list.SaveToBytes(e, image) == 0, "saving in a Unicode encoding succeeds");
    TFileBase reloaded;
    FuzzCheck(reloaded.LoadFromBytes(image) == 0, "a saved image loads");
    bool same = reloaded.Count() == list.Count();
    for (int i = 0; same && i < list.Count(); ++i) same = reloaded.Text(i) == list.Text(i);
    FuzzCheck(same, "the reloaded list holds the saved lines");
  }
  return 0;
}
