#include "events/alert_delivery.h"

#include <cstdlib>

#include "platform/run_and_wait.h"
#include "settings/suite_settings.h"

namespace qv {

namespace {

// The sender's whole command line must fit its buffer.
constexpr std::size_t kLineLimit = kCommandLineChars - 1;

std::vector<String> SplitAt(StringView list, char16_t separator) {
  std::vector<String> items;
  if (list.empty()) return items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = list.find(separator, start);
    if (at == StringView::npos) {
      items.emplace_back(list.substr(start));
      return items;
    }
    items.emplace_back(list.substr(start, at - start));
    start = at + 1;
  }
}

void AppendItem(String& part, StringView item, char16_t separator) {
  if (!part.empty()) part.push_back(separator);
  part.append(item);
}

void ReplaceAll(String& text, StringView from, StringView to) {
  for (std::size_t at = text.find(from); at != String::npos; at = text.find(from)) text.replace(at, from.size(), to);
}

void DropFinalComma(String& text) {
  if (!text.empty() && text.back() == u',') text.pop_back();
}

// Characters an element takes on the command line: each double quote twice.
std::size_t DoubledLength(StringView text) {
  std::size_t n = text.size();
  for (char16_t c : text)
    if (c == u'"') ++n;
  return n;
}

String WithoutNul(StringView text) {
  String s(text);
  for (char16_t& c : s)
    if (c == 0) c = u' ';
  return s;
}

String Build(const SenderRun& r) {
  String line = QuotedElement(u"", r.program);
  line += u' ';
  line += r.mode;
  line += u' ';
  line += QuotedElement(u"SUBJECT=", r.subject);
  line += u' ';
  line += QuotedElement(u"BODY=Text:", r.body);
  if (!r.htmlBody.empty()) {
    line += u' ';
    line += QuotedElement(u"HTML=Text:", r.htmlBody);
  }
  line += u' ';
  line += QuotedElement(u"RECIP=", r.recipients);
  for (const String& path : r.attachments) {
    line += u' ';
    line += QuotedElement(u"", path);
  }
  return line;
}

// Shortens text so that its quoted form takes at most `budget` characters,
// ending with the cut mark; empty when not even the mark fits. Never ends
// between the two halves of a surrogate pair.
String Shortened(StringView text, std::size_t budget) {
  const StringView mark = kBodyCutMark;
  if (budget < mark.size()) return String();
  const std::size_t room = budget - mark.size();
  std::size_t used = 0, keep = 0;
  while (keep < text.size()) {
    const std::size_t cost = text[keep] == u'"' ? 2 : 1;
    if (used + cost > room) break;
    used += cost;
    ++keep;
  }
  if (keep > 0 && keep < text.size() && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
  String s(text.substr(0, keep));
  s.append(mark);
  return s;
}

}  // namespace

RecipientParts SplitRecipients(StringView list, char16_t separator) {
  enum class State { None, To, Cc, Bcc } state = State::None;
  RecipientParts parts;
  bool firstKnown = false;
  for (const String& item : SplitAt(list, separator)) {
    if (EqualsNoCaseAscii(item, u"to")) {
      state = State::To;
    } else if (EqualsNoCaseAscii(item, u"cc")) {
      state = State::Cc;
    } else if (EqualsNoCaseAscii(item, u"bcc")) {
      state = State::Bcc;
    } else {
      switch (state) {
        case State::None:
          AppendItem(parts.to, item, separator);
          if (!firstKnown) {
            parts.firstTo = item;
            firstKnown = true;
          }
          state = State::Cc;
          break;
        case State::To: AppendItem(parts.to, item, separator); break;
        case State::Cc: AppendItem(parts.cc, item, separator); break;
        case State::Bcc: AppendItem(parts.bcc, item, separator); break;
      }
    }
  }
  return parts;
}

String CleanRecipients(StringView text) {
  String s(text);
  ReplaceAll(s, u"  ", u" ");
  ReplaceAll(s, u", ,", u",");
  ReplaceAll(s, u",,", u",");
  return s;
}

String CombineRecipients(StringView to, StringView cc, StringView bcc, char16_t separator) {
  const String sep(1, separator);
  String result = to.find(separator) != StringView::npos ? u"to" + sep + String(to) : String(to);
  result = CleanRecipients(result);
  DropFinalComma(result);
  auto part = [&](StringView text, StringView marker) {
    String p = CleanRecipients(text);
    DropFinalComma(p);
    if (p.empty()) return;
    result += sep;
    result += marker;
    result += sep;
    result += p;
  };
  part(cc, u"cc");
  part(bcc, u"bcc");
  if (!result.empty() && result.front() == u',') result.erase(0, 1);
  return result;
}

String MakerRecipients(std::int32_t norva) {
  const std::int64_t bits = std::llabs(static_cast<std::int64_t>(norva));
  String list;
  if (bits & (1 | 2 | 4)) list += String(kMakerSupportAddress1) + u",";
  if (bits & 8) list += String(kMakerSupportAddress2) + u",";
  DropFinalComma(list);
  return list;
}

String QuotedElement(StringView prefix, StringView text) {
  String element = u"\"";
  element.reserve(prefix.size() + DoubledLength(text) + 2);
  element.append(prefix);
  for (char16_t c : text) {
    if (c == 0) c = u' ';
    element.push_back(c);
    if (c == u'"') element.push_back(u'"');
  }
  element.push_back(u'"');
  return element;
}

String SenderCommandLine(const SenderRun& run) {
  SenderRun r = run;
  r.subject = WithoutNul(r.subject);
  r.body = WithoutNul(r.body);
  r.htmlBody = WithoutNul(r.htmlBody);
  String line = Build(r);
  // Shorten the texts, body first, never any other element.
  for (String* text : {&r.body, &r.htmlBody, &r.subject}) {
    if (line.size() <= kLineLimit) break;
    if (text->empty()) continue;
    const std::size_t excess = line.size() - kLineLimit;
    const std::size_t cost = DoubledLength(*text);
    *text = cost > excess ? Shortened(*text, cost - excess) : String();
    line = Build(r);
  }
  return line;
}

std::vector<SenderRun> AlertRuns(StringView program, StringView subject, StringView body, StringView htmlBody,
                                 StringView recipients, std::int32_t norva,
                                 const std::vector<String>& attachments) {
  auto run = [&](StringView mode, StringView to, const std::vector<String>& files) {
    return SenderRun{String(program), String(mode), String(subject), String(body), String(htmlBody), String(to),
                     files};
  };
  std::vector<SenderRun> runs;
  const String maker = MakerRecipients(norva);
  if (!recipients.empty()) {
    if (norva != 0 && !attachments.empty()) {
      runs.push_back(run(u"AUTO", recipients, {}));
      runs.push_back(run(u"NORVA_WT", maker, attachments));
    } else if (norva != 0) {
      RecipientParts parts = SplitRecipients(recipients);
      if (!parts.to.empty()) parts.to += u",";
      parts.to += maker;
      runs.push_back(run(u"AUTO", CombineRecipients(parts.to, parts.cc, parts.bcc), {}));
    } else {
      runs.push_back(run(u"AUTO", recipients, {}));
    }
  } else if (norva != 0) {
    runs.push_back(run(u"NORVA_WT", maker, attachments));
  }
  return runs;
}

String SenderProgramPath() { return GetProgramDir() + kSenderProgram; }

std::int32_t DeliverAlert(StringView subject, StringView body, StringView htmlBody, StringView recipients,
                          std::int32_t norva, const std::vector<String>& attachments) {
  std::int32_t result = kAlertNobody;
  const String folder = GetAppDataDir();
  for (const SenderRun& r : AlertRuns(SenderProgramPath(), subject, body, htmlBody, recipients, norva, attachments))
    result = RunAndWait(SenderCommandLine(r), folder, kSenderSeconds, 0);
  return result;
}

}  // namespace qv
