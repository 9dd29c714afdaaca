// The alert's recipient functions and the MAILPOST command line. Input
// parts (split at "\n--\n"): recipients, subject, body, HTML body,
// attachments (one per line), the program path; byte 0 picks the mode.
// Parsing the built command line by the doubling rule gives back exactly
// the program, mode, subject, body, HTML body, recipients and attachments
// (texts shortened to fit end with the cut mark; the line fits the
// sender's buffer whenever its fixed elements do).
#include "events/alert_delivery.h"
#include "fuzz/targets.h"
#include "tools/mailpost_standin/doubling_parser.h"

using namespace qv;
using qv::fuzz::FuzzCheck;

namespace {

constexpr std::size_t kLineLimit = 8191;

String NoNul(String s) {
  for (char16_t& c : s)
    if (c == 0) c = u' ';
  return s;
}

// A shortened text: a start of the original followed by the cut mark, or
// nothing at all.
bool ShortenedFrom(const String& got, const String& original) {
  if (got == original || got.empty()) return true;
  const String mark = kBodyCutMark;
  if (got.size() < mark.size() || got.compare(got.size() - mark.size(), mark.size(), mark) != 0) return false;
  return original.compare(0, got.size() - mark.size(), got, 0, got.size() - mark.size()) == 0;
}

std::size_t DoubledLength(const String& s) {
  std::size_t n = s.size() + 3;  // quotes and the blank before
  for (char16_t c : s) n += c == u'"' ? 1 : 0;
  return n;
}

}  // namespace

extern "C" int Fuzz_alerts(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data + 1), size - 1), 6);
  auto part = [&](std::size_t i) { return i < parts.size() ? FromUtf8(parts[i]) : String(); };

  // ---- recipients
  const String list = part(0);
  const String clean = CleanRecipients(list);
  FuzzCheck(clean.find(u"  ") == String::npos && clean.find(u",,") == String::npos &&
                clean.find(u", ,") == String::npos,
            "CleanRecipients leaves no doubled space or empty item");
  FuzzCheck(CleanRecipients(clean) == clean, "CleanRecipients is idempotent");
  // Splitting and combining must hold up on any list (the round trip is
  // not checked: an item before the first marker moves the rest to Cc).
  const RecipientParts split = SplitRecipients(list);
  const String combined = CombineRecipients(split.to, split.cc, split.bcc);
  FuzzCheck(combined.find(u",,") == String::npos, "the combined list has no empty item");

  // ---- the command line
  SenderRun run;
  run.program = NoNul(part(5).empty() ? String(u"C:\\Program Files\\Velmora\\MAILPOST.exe") : part(5));
  run.mode = (data[0] & 1) ? u"NORVA_WT" : u"AUTO";
  run.recipients = NoNul(list);
  run.subject = part(1);
  run.body = part(2);
  run.htmlBody = part(3);
  const String files = part(4);
  for (std::size_t at = 0; at < files.size() && run.attachments.size() < 8;) {
    std::size_t end = files.find(u'\n', at);
    if (end == String::npos) end = files.size();
    run.attachments.push_back(NoNul(files.substr(at, end - at)));
    at = end + 1;
  }

  const String line = SenderCommandLine(run);
  const std::vector<std::u16string> elements = mailpost::ParseDoubling(line);
  FuzzCheck(elements.size() == 5 + (run.htmlBody.empty() ? 0 : 1) + run.attachments.size() ||
                // the HTML element goes when its text is shortened to nothing
                elements.size() == 5 + run.attachments.size(),
            "the command line has one element per part");
  FuzzCheck(elements[0] == run.program && elements[1] == run.mode, "program and mode come back exactly");
  auto text = [&](std::size_t i, StringView prefix) {
    FuzzCheck(i < elements.size() && elements[i].compare(0, prefix.size(), prefix) == 0, "each text has its prefix");
    return String(elements[i].substr(prefix.size()));
  };
  std::size_t i = 2;
  const String subject = text(i++, u"SUBJECT=");
  const String body = text(i++, u"BODY=Text:");
  String html;
  if (i < elements.size() && elements[i].compare(0, 10, u"HTML=Text:") == 0) html = text(i++, u"HTML=Text:");
  const String recipients = text(i++, u"RECIP=");
  FuzzCheck(recipients == run.recipients, "the recipients come back exactly");
  for (const String& a : run.attachments) {
    FuzzCheck(i < elements.size() && elements[i] == a, "every attachment comes back exactly");
    ++i;
  }
  FuzzCheck(i == elements.size(), "nothing follows the attachments");

  const bool fits = line.size() <= kLineLimit;
  std::size_t fixedLength = DoubledLength(run.program) + run.mode.size() + 1 + DoubledLength(u"SUBJECT=") +
                            DoubledLength(u"BODY=Text:") + DoubledLength(u"RECIP=" + run.recipients);
  for (const String& a : run.attachments) fixedLength += DoubledLength(a);
  const std::size_t fullLength = fixedLength + DoubledLength(NoNul(run.subject)) + DoubledLength(NoNul(run.body)) +
                                 (run.htmlBody.empty() ? 0 : DoubledLength(u"HTML=Text:" + NoNul(run.htmlBody)));
  FuzzCheck(ShortenedFrom(subject, NoNul(run.subject)) && ShortenedFrom(body, NoNul(run.body)) &&
                ShortenedFrom(html, NoNul(run.htmlBody)),
            "a text comes back exactly, or shortened: a start of the original with the cut mark");
  // A few characters of slack for the blanks between elements.
  if (fullLength + 8 <= kLineLimit)
    FuzzCheck(subject == NoNul(run.subject) && body == NoNul(run.body) && html == NoNul(run.htmlBody),
              "texts come back exactly when the whole line fits");
  FuzzCheck(fits || fixedLength > kLineLimit, "the line fits whenever its fixed elements do");
  return 0;
}
