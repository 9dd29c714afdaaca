// Handing an operator alert to the suite's e-mail sender program
// MAILPOST.exe: the recipient lists, the sender's command line and the runs
// made for an alert.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace qv {

// The suite maker's support addresses, added to an alert's recipients by
// the TriggerNorva bits (1, 2 or 4: the first; 8: the second).
inline constexpr char16_t kMakerSupportAddress1[] = u"support@velmora.example";
inline constexpr char16_t kMakerSupportAddress2[] = u"alerts@velmora.example";

// The sender program's file name, and how long an alert waits for it.
inline constexpr char16_t kSenderProgram[] = u"MAILPOST.exe";
inline constexpr std::int32_t kSenderSeconds = 15;

// Result when there is nobody to send to.
inline constexpr std::int32_t kAlertNobody = -3;

// ---------------------------------------------------------------- recipients
// A recipient list is text of items separated by commas; the items "to",
// "cc" and "bcc" (any letter case) direct the following items into that
// part. Without markers the first address goes to To, the rest to Cc.
struct RecipientParts {
  String to, cc, bcc;
  String firstTo;  // the first address that went to To without a marker
};
RecipientParts SplitRecipients(StringView list, char16_t separator = u',');
// Removes doubled spaces, then turns ", ," and ",," into ",", repeatedly.
String CleanRecipients(StringView text);
String CombineRecipients(StringView to, StringView cc, StringView bcc, char16_t separator = u',');
// The maker's addresses for a TriggerNorva value (by its absolute value);
// empty for 0.
String MakerRecipients(std::int32_t norva);

// ---------------------------------------------------------------- command line
// One run of the sender program. Every element but the mode is quoted by
// the doubling rule: written between double quotes with each double quote
// inside doubled, so that any text (blanks, tabs, CR/LF, backslashes) is
// exactly one element. NUL characters, which would end the command line,
// become blanks.
struct SenderRun {
  String program;   // path of MAILPOST.exe
  String mode;      // "AUTO" or "NORVA_WT"
  String subject;
  String body;
  String htmlBody;  // empty: no HTML element
  String recipients;
  std::vector<String> attachments;
};

// The mark put at the end of a body that was shortened to fit.
inline constexpr char16_t kBodyCutMark[] = u" [...]";

// The element for text, quoted by the doubling rule, with its prefix
// ("SUBJECT=") inside the quotes.
String QuotedElement(StringView prefix, StringView text);

// The whole command line:
//   "program" MODE "SUBJECT=s" "BODY=Text:b" ["HTML=Text:h"] "RECIP=r" ["path"]...
// A line that would be longer than the sender's 8191-character command
// buffer is made to fit without cutting any element in half: the body is
// shortened and ends with kBodyCutMark, then (if still too long) the HTML
// body, then the subject; the program, mode, recipients and attachments
// always stay whole. Only when those alone are too long is the result
// longer than 8191 characters.
String SenderCommandLine(const SenderRun& run);

// The runs DeliverAlert makes (in order) for an alert with recipients R,
// TriggerNorva value N and attachments A:
//   R, A, N != 0:   AUTO to R; then NORVA_WT to the maker list with A
//   R, no A, N != 0: AUTO to R merged with the maker list
//   R, no A, N == 0: AUTO to R
//   no R, N != 0:   NORVA_WT to the maker list with A
//   no R, N == 0:   none
// program is the sender's path (see SenderProgramPath).
std::vector<SenderRun> AlertRuns(StringView program, StringView subject, StringView body, StringView htmlBody,
                                 StringView recipients, std::int32_t norva, const std::vector<String>& attachments);

// ProgramDir + "MAILPOST.exe", or the bare file name while the settings
// have not been read in this process.
String SenderProgramPath();

// Makes the runs through RunAndWait (working folder AppDataDir, 15 seconds,
// hidden window). The result of the last run, or -3 when there is none.
std::int32_t DeliverAlert(StringView subject, StringView body, StringView htmlBody, StringView recipients,
                          std::int32_t norva, const std::vector<String>& attachments);

}  // namespace qv
