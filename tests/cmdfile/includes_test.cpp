// Includes, variable definitions, replacement, templates and the e-mail and
// image values of TFileBase, with fixture files on the in-memory machine.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cmdfile/tfilebase.h"
#include "tests/cmdfile/cmdfile_failure.h"
#include "platform/memory/memory_machine.h"
#include "platform/seam.h"
#include "settings/suite_settings.h"

namespace qv {
namespace {

using Lines = std::vector<std::string>;

Lines Texts(const TFileBase& list) {
  Lines out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(ToUtf8(list.Text(i)));
  return out;
}

void AddLines(TFileBase& list, const Lines& lines) {
  for (const std::string& l : lines) list.Add(U(l));
}

std::string Joined(const Lines& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Utf16Le(StringView text) {
  Bytes out{0xFF, 0xFE};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

Bytes Utf16Be(StringView text) {
  Bytes out{0xFE, 0xFF};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
  }
  return out;
}

using testing_cmdfile::FailureOf;

class CmdFileIncludes : public ::testing::Test {
 protected:
  void SetUp() override { machine.MakeDirectories(u"C:\\Inc"); }
  void Write(const char16_t* path, const Lines& lines) { ASSERT_TRUE(machine.WriteTextFile(path, Joined(lines))); }

  platform::MemoryMachine machine;
  platform::ScopedPlatform scope{machine};
};

// ---------------------------------------------------------------- ExpandInclude

TEST_F(CmdFileIncludes, NoIncludeLeavesTheListAlone) {
  TFileBase list;
  AddLines(list, {"$fax_phone 1", "; $include x", "$includes C:\\Inc\\A.INC"});
  list.ExpandInclude();
  EXPECT_EQ(Texts(list), (Lines{"$fax_phone 1", "; $include x", "$includes C:\\Inc\\A.INC"}));
  EXPECT_TRUE(list.IncludeFileName().empty());
}

TEST_F(CmdFileIncludes, ExpandsEveryIncludeInOrderWhateverItsEncoding) {
  ASSERT_TRUE(machine.WriteBytes(u"C:\\Inc\\A.INC", ToBytes("\xEF\xBB\xBF$a1 \xC3\xA9\r\n$a2\r\n")));
  ASSERT_TRUE(machine.WriteBytes(u"C:\\Inc\\B.INC", Utf16Le(u"$b1\r\n$include C:\\Inc\\C.INC\r\n$b2")));
  ASSERT_TRUE(machine.WriteBytes(u"C:\\Inc\\C.INC", Utf16Be(u"$c1 \u20AC")));
  Write(u"C:\\Inc\\EMPTY.INC", {});
  TFileBase list;
  AddLines(list, {"$top", "  $INCLUDE \"C:\\Inc\\A.INC\" ; first", "$mid", "$include C:\\Inc\\EMPTY.INC",
                  "$include C:\\Inc\\B.INC", "$end"});
  list.ExpandInclude();
  EXPECT_EQ(Texts(list), (Lines{"$top", "$a1 é", "$a2", "$mid", "$b1", "$c1 €", "$b2", "$end"}));
  EXPECT_EQ(ToUtf8(list.IncludeFileName()), "C:\\Inc\\C.INC");  // the last file expanded
  // The inserted lines are parsed like any other.
  EXPECT_EQ(ToUtf8(list.GetToken(u"$c1", 1, 1)), "€");
  EXPECT_EQ(list.LastIndex(), 5);
}

TEST_F(CmdFileIncludes, TwoIncludesNameTheSecond) {
  Write(u"C:\\Inc\\A.INC", {"$a"});
  Write(u"C:\\Inc\\B.INC", {"$b"});
  TFileBase list;
  AddLines(list, {"$include C:\\Inc\\A.INC", "$include C:\\Inc\\B.INC"});
  list.ExpandInclude();
  EXPECT_EQ(Texts(list), (Lines{"$a", "$b"}));
  EXPECT_EQ(ToUtf8(list.IncludeFileName()), "C:\\Inc\\B.INC");
}

TEST_F(CmdFileIncludes, MissingAndUnreadableFilesFailAndKeepTheirLine) {
  Write(u"C:\\Inc\\A.INC", {"$a"});
  Write(u"C:\\Inc\\LOCKED.INC", {"$locked"});
  struct Case {
    const char* include;
    const char* message;
  };
  const Case cases[] = {
      {"C:\\Inc\\NONE.INC", "Cannot find include file C:\\Inc\\NONE.INC"},
      {"\"C:\\Inc\\LOCKED.INC\"", "Cannot read include file C:\\Inc\\LOCKED.INC : Access is denied."},
  };
  machine.InjectFailure("ReadFile", 0, platform::kErrAccessDenied, u"C:\\Inc\\LOCKED.INC");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.include);
    TFileBase list;
    const std::string failing = std::string("$include ") + c.include;
    AddLines(list, {"$include C:\\Inc\\A.INC", failing, "$include C:\\Inc\\A.INC"});
    EXPECT_EQ(FailureOf([&] { list.ExpandInclude(); }), c.message);
    // The first include stays expanded, the failing line stays in place.
    EXPECT_EQ(Texts(list), (Lines{"$a", failing, "$include C:\\Inc\\A.INC"}));
    EXPECT_EQ(ToUtf8(list.IncludeFileName()), "C:\\Inc\\A.INC");
  }
}

TEST_F(CmdFileIncludes, SelfInclusionFailsNamingTheChain) {
  Write(u"C:\\Inc\\SELF.INC", {"$s", "$include C:\\Inc\\SELF.INC"});
  Write(u"C:\\Inc\\A.INC", {"$a", "$include C:\\Inc\\B.INC"});
  Write(u"C:\\Inc\\B.INC", {"$b", "$include c:\\inc\\a.inc"});
  Write(u"C:\\Inc\\REL.INC", {"$r", "$include .\\REL.INC"});
  struct Case {
    const char* include;
    const char* message;
    Lines left;
  };
  const Case cases[] = {
      {"C:\\Inc\\SELF.INC", "Include file C:\\Inc\\SELF.INC includes itself: C:\\Inc\\SELF.INC -> C:\\Inc\\SELF.INC",
       {"$s", "$include C:\\Inc\\SELF.INC"}},
      {"C:\\Inc\\A.INC",
       "Include file c:\\inc\\a.inc includes itself: C:\\Inc\\A.INC -> C:\\Inc\\B.INC -> c:\\inc\\a.inc",
       {"$a", "$b", "$include c:\\inc\\a.inc"}},
      // Another spelling of the same file is the same file.
      {"C:\\Inc\\REL.INC", "Include file .\\REL.INC includes itself: C:\\Inc\\REL.INC -> .\\REL.INC",
       {"$r", "$include .\\REL.INC"}},
  };
  machine.SetCurrentDirectory(u"C:\\Inc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.include);
    TFileBase list;
    AddLines(list, {"$main", std::string("$include ") + c.include});
    EXPECT_EQ(FailureOf([&] { list.ExpandInclude(); }), c.message);
    Lines expected{"$main"};
    expected.insert(expected.end(), c.left.begin(), c.left.end());
    EXPECT_EQ(Texts(list), expected);
  }
}

TEST_F(CmdFileIncludes, TheSameFileTwiceIsNoCycle) {
  Write(u"C:\\Inc\\A.INC", {"$a", "$include C:\\Inc\\B.INC"});
  Write(u"C:\\Inc\\B.INC", {"$b"});
  TFileBase list;
  AddLines(list, {"$include C:\\Inc\\A.INC", "$include C:\\Inc\\A.INC", "$include C:\\Inc\\B.INC"});
  list.ExpandInclude();
  EXPECT_EQ(Texts(list), (Lines{"$a", "$b", "$a", "$b", "$b"}));
}

TEST_F(CmdFileIncludes, NestingDepthIsLimited) {
  // L1 includes L2 ... each file one level deeper; the last one holds "$deepest".
  const auto chain = [&](int files) {
    for (int k = 1; k <= files; ++k) {
      const std::string next = k < files ? "$include C:\\Inc\\L" + std::to_string(k + 1) + ".INC" : "$deepest";
      ASSERT_TRUE(machine.WriteTextFile(U("C:\\Inc\\L" + std::to_string(k) + ".INC"), "$l\r\n" + next + "\r\n"));
    }
  };
  chain(kMaxIncludeDepth);
  TFileBase list;
  list.Add(u"$include C:\\Inc\\L1.INC");
  list.ExpandInclude();
  EXPECT_EQ(list.Count(), kMaxIncludeDepth + 1);
  EXPECT_EQ(ToUtf8(list.Text(kMaxIncludeDepth)), "$deepest");

  chain(kMaxIncludeDepth + 1);
  list.Clear();
  list.Add(u"$include C:\\Inc\\L1.INC");
  std::string expected = "Include files nested deeper than 16 levels: ";
  for (int k = 1; k <= kMaxIncludeDepth; ++k) expected += "C:\\Inc\\L" + std::to_string(k) + ".INC -> ";
  expected += "C:\\Inc\\L17.INC";
  EXPECT_EQ(FailureOf([&] { list.ExpandInclude(); }), expected);
  EXPECT_EQ(ToUtf8(list.Text(kMaxIncludeDepth)), "$include C:\\Inc\\L17.INC");
}

// ------------------------------------------------ StripInclude, WriteInclude, RestoreInclude

const Lines kJob = {
    "$fs_template   cover logo=1",
    "$var_def memo_1 \"x\"",
    "$fax_phone  555 ; first",
    "$var_def TOTAL 5",
    "$EMAIL_ADDRESS ann@example.com",
    "$fax_receiver Ann",
    "$var_def \"Memo2\" y",
    "$convert_options IMG3",
    "$email_subject Quarterly figures",
    "$send",
};

TEST_F(CmdFileIncludes, StripMovesTheRecipientLines) {
  TFileBase list;
  AddLines(list, kJob);
  list.SetIncludeFileName(u"C:\\Inc\\Say \"hi\".INC");
  list.StripInclude();
  EXPECT_EQ(Texts(list), (Lines{"$include \"C:\\Inc\\Say \"\"hi\"\".INC\"", "$fs_template cover logo=1",
                                "$var_def TOTAL 5", "$convert_options IMG3", "$send"}));
  ASSERT_NE(list.IncludeLines(), nullptr);
  std::vector<std::string> moved;
  for (const String& l : *list.IncludeLines()) moved.push_back(ToUtf8(l));
  EXPECT_EQ(moved, (Lines{"$var_def memo_1 \"x\"", "$fax_phone 555 ; first", "$EMAIL_ADDRESS ann@example.com",
                          "$fax_receiver Ann", "$var_def \"Memo2\" y", "$email_subject Quarterly figures"}));
  EXPECT_EQ(ToUtf8(list.GetSqToken(u"$include", 1, 1)), "C:\\Inc\\Say \"hi\".INC");

  // Every old $include line gives way to the one new line.
  TFileBase again;
  AddLines(again, {"$fax_phone 1", "$include OLD.INC", "$x", "$include OLD2.INC"});
  again.SetIncludeFileName(u"NEW.INC");
  again.StripInclude();
  EXPECT_EQ(Texts(again), (Lines{"$include \"NEW.INC\"", "$x"}));

  // Nothing happens without an include file name, nor without lines to move.
  for (const char16_t* name : {u"", u"   "}) {
    TFileBase unnamed;
    AddLines(unnamed, kJob);
    unnamed.SetIncludeFileName(name);
    unnamed.StripInclude();
    EXPECT_EQ(Texts(unnamed), kJob);
    EXPECT_EQ(unnamed.IncludeLines(), nullptr);
  }
  TFileBase none;
  AddLines(none, {"$include   OLD.INC", "$send"});
  none.SetIncludeFileName(u"NEW.INC");
  none.StripInclude();
  EXPECT_EQ(Texts(none), (Lines{"$include OLD.INC", "$send"}));  // packed only
}

TEST_F(CmdFileIncludes, StripWriteRestoreGiveBackTheSameLines) {
  Write(u"C:\\Inc\\RCPT.INC", {"$fax_phone   555", "$var_def MEMO_A \"a b\"", "$email_address a@b.c ; main"});
  TFileBase list;
  AddLines(list, {"$include   C:\\Inc\\RCPT.INC", "$fs_template cover", "$var_def TOTAL 5", "$send"});
  list.ExpandInclude();
  list.Pack();
  const Lines expanded = Texts(list);
  EXPECT_EQ(expanded, (Lines{"$fax_phone 555", "$var_def MEMO_A \"a b\"", "$email_address a@b.c ; main",
                             "$fs_template cover", "$var_def TOTAL 5", "$send"}));

  machine.RemovePath(u"C:\\Inc\\RCPT.INC");
  list.StripInclude();
  EXPECT_EQ(Texts(list), (Lines{"$include \"C:\\Inc\\RCPT.INC\"", "$fs_template cover", "$var_def TOTAL 5", "$send"}));
  EXPECT_EQ(list.WriteInclude(TextEncoding::Utf8), 0u);
  EXPECT_EQ(machine.ReadBytes(u"C:\\Inc\\RCPT.INC"),
            std::optional<Bytes>(ToBytes("\xEF\xBB\xBF$fax_phone 555\r\n$var_def MEMO_A \"a b\"\r\n"
                                         "$email_address a@b.c ; main\r\n")));
  list.RestoreInclude();
  EXPECT_EQ(Texts(list), expanded);

  // The restored lines left the include list: a second split holds each once.
  EXPECT_EQ(list.IncludeLines(), nullptr);
  list.StripInclude();
  ASSERT_NE(list.IncludeLines(), nullptr);
  EXPECT_EQ(list.IncludeLines()->size(), 3u);

  // Expanding the main part again reads the written file back.
  list.Clear();
  AddLines(list, {"$include \"C:\\Inc\\RCPT.INC\"", "$fs_template cover", "$var_def TOTAL 5", "$send"});
  list.ExpandInclude();
  EXPECT_EQ(Texts(list), expanded);
}

TEST_F(CmdFileIncludes, RestoreNeedsAnIncludeLineAListAndAName) {
  TFileBase list;
  AddLines(list, {"$fax_phone 1", "$send"});
  list.SetIncludeFileName(u"R.INC");
  list.StripInclude();
  list.RestoreInclude();
  EXPECT_EQ(Texts(list), (Lines{"$fax_phone 1", "$send"}));

  TFileBase plain;
  AddLines(plain, {"$include R.INC", "$send"});
  plain.RestoreInclude();  // no include list
  EXPECT_EQ(Texts(plain), (Lines{"$include R.INC", "$send"}));
}

TEST_F(CmdFileIncludes, WriteIncludeInEveryEncoding) {
  const String name = u"C:\\Inc\\OUT.INC";
  const String text = u"$fax_phone 555\r\n$email_subject Caf\u00E9 \u20AC\r\n";
  struct Case {
    const char* name;
    TextEncoding encoding;
    Bytes bytes;
    std::size_t replaced;
  };
  const Case cases[] = {
      {"UTF-8", TextEncoding::Utf8, ToBytes("\xEF\xBB\xBF" + ToUtf8(text)), 0},
      {"UTF-16 LE", TextEncoding::Utf16LE, Utf16Le(text), 0},
      {"UTF-16 BE", TextEncoding::Utf16BE, Utf16Be(text), 0},
      {"ANSI", TextEncoding::Ansi, ToBytes("$fax_phone 555\r\n$email_subject Caf\xE9 \x80\r\n"), 0},
      {"ASCII", TextEncoding::Ascii, ToBytes("$fax_phone 555\r\n$email_subject Caf? ?\r\n"), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFileBase list;
    AddLines(list, {"$fax_phone 555", "$email_subject Caf\xC3\xA9 \xE2\x82\xAC", "$send"});
    list.SetIncludeFileName(name);
    list.StripInclude();
    EXPECT_EQ(list.WriteInclude(c.encoding), c.replaced);
    EXPECT_EQ(machine.ReadBytes(name), std::optional<Bytes>(c.bytes));
    // Read back through an include line: the same lines (ASCII keeps its "?").
    TFileBase back;
    back.Add(u"$include " + name);
    back.ExpandInclude();
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Text(0), u"$fax_phone 555");
  }
}

TEST_F(CmdFileIncludes, WriteIncludeUsesTheFsFileEncodingOfTheSettings) {
  struct Case {
    FileEncoding chosen;
    Bytes start;
  };
  const Case cases[] = {
      {FileEncoding::Ansi, ToBytes("$fax")},
      {FileEncoding::Utf8, {0xEF, 0xBB, 0xBF}},
      {FileEncoding::Utf16LE, {0xFF, 0xFE}},
      {FileEncoding::Ascii, ToBytes("$fax")},
  };
  struct Reset {
    ~Reset() { ResetSuiteSettingsForTests(); }
  } reset;
  for (const Case& c : cases) {
    SCOPED_TRACE(ToUtf8(FileEncodingName(c.chosen)));
    Settings().FileEncodings[FileKind::Fs] = c.chosen;
    TFileBase list;
    AddLines(list, {"$fax_phone 1"});
    list.SetIncludeFileName(u"C:\\Inc\\FS.INC");
    list.StripInclude();
    list.WriteInclude();
    const std::optional<Bytes> bytes = machine.ReadBytes(u"C:\\Inc\\FS.INC");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(Bytes(bytes->begin(), bytes->begin() + static_cast<std::ptrdiff_t>(c.start.size())), c.start);
  }
}

TEST_F(CmdFileIncludes, WriteIncludeFailureNamesTheFileAndKeepsEverything) {
  machine.MakeDirectories(u"C:\\Locked");
  ASSERT_TRUE(machine.WriteTextFile(u"C:\\Locked\\R.INC", "old\r\n"));
  TFileBase list;
  AddLines(list, {"$fax_phone 1", "$send"});
  list.SetIncludeFileName(u"C:\\Locked\\R.INC");
  list.StripInclude();
  const Lines before = Texts(list);

  // A folder the user may not write to refuses every new file in it.
  machine.InjectFailure("GetTempFileNameW", 0, platform::kErrAccessDenied, u"C:\\Locked\\");
  machine.InjectFailure("CreateFileW", 0, platform::kErrAccessDenied, u"C:\\Locked\\*");
  EXPECT_EQ(FailureOf([&] { list.WriteInclude(TextEncoding::Utf8); }),
            "Cannot write file C:\\Locked\\R.INC : Access is denied.");
  machine.ClearFailures();
  EXPECT_EQ(machine.ReadTextFile(u"C:\\Locked\\R.INC"), std::optional<std::string>("old\r\n"));
  EXPECT_EQ(Texts(list), before);
  ASSERT_NE(list.IncludeLines(), nullptr);
  EXPECT_EQ(list.IncludeLines()->size(), 1u);

  // A folder that does not exist.
  list.SetIncludeFileName(u"C:\\Nowhere\\R.INC");
  EXPECT_EQ(FailureOf([&] { list.WriteInclude(TextEncoding::Utf8); }),
            "Cannot write file C:\\Nowhere\\R.INC : The directory name is invalid.");

  // Nothing to write: no include list, or no name.
  TFileBase empty;
  empty.SetIncludeFileName(u"C:\\Inc\\NONE.INC");
  EXPECT_EQ(empty.WriteInclude(TextEncoding::Utf8), 0u);
  EXPECT_FALSE(machine.Exists(u"C:\\Inc\\NONE.INC"));
}

TEST_F(CmdFileIncludes, WriteIncludeOfANameWithoutFolderWritesToTheCurrentFolder) {
  machine.SetCurrentDirectory(u"C:\\Inc");
  TFileBase list;
  AddLines(list, {"$fax_phone 1"});
  list.SetIncludeFileName(u"REL.INC");
  list.StripInclude();
  list.WriteInclude(TextEncoding::Ansi);
  EXPECT_EQ(machine.ReadTextFile(u"C:\\Inc\\REL.INC"), std::optional<std::string>("$fax_phone 1\r\n"));
  EXPECT_EQ(Texts(list), (Lines{"$include \"REL.INC\""}));
}

TEST_F(CmdFileIncludes, ClearReleasesTheIncludeState) {
  TFileBase list;
  AddLines(list, {"$fax_phone 1"});
  list.SetIncludeFileName(u"R.INC");
  list.StripInclude();
  ASSERT_NE(list.IncludeLines(), nullptr);
  list.Clear();
  EXPECT_EQ(list.IncludeLines(), nullptr);
  EXPECT_TRUE(list.IncludeFileName().empty());
  EXPECT_EQ(list.Count(), 0);
}

// ---------------------------------------------------------------- variable definitions

TEST(CmdFileVardefs, LastDefinitionWins) {
  TFileBase list;
  AddLines(list, {"$var_def TOTAL 1", "$var_def", "$var_def other 9", "$VAR_DEF \"total\" \"two words\"",
                  "$var_def Ümlaut x"});
  EXPECT_EQ(ToUtf8(list.GetVardef(u"total")), "two words");
  EXPECT_EQ(list.LastVardefIndex(), 3);
  EXPECT_EQ(ToUtf8(list.GetVardef(u"üMLAUT")), "x");  // letter case by the locale
  EXPECT_EQ(list.LastVardefIndex(), 4);
  EXPECT_TRUE(list.GetVardef(u"missing").empty());
  EXPECT_EQ(list.LastVardefIndex(), -1);
  EXPECT_TRUE(list.GetVardef(u"").empty());

  // A last definition without a value gives empty and -1.
  list.Add(u"$var_def Total");
  EXPECT_TRUE(list.GetVardef(u"TOTAL").empty());
  EXPECT_EQ(list.LastVardefIndex(), -1);
}

TEST(CmdFileVardefs, StripRemovesEveryDefinitionOfTheName) {
  TFileBase list;
  AddLines(list, {"$a", "$var_def X 1", "$var_def Y 2", "$var_def \"x\"", "$var_def x 3", "$var_def"});
  list.StripVarDefs(u"X");
  EXPECT_EQ(Texts(list), (Lines{"$a", "$var_def Y 2", "$var_def"}));
  EXPECT_EQ(list.LastVardefIndex(), 1);  // where the first one stood
  list.StripVarDefs(u"X");
  EXPECT_EQ(list.LastVardefIndex(), -1);
}

// ---------------------------------------------------------------- replacement

TEST(CmdFileReplace, ReplaceOneInstance) {
  TFileBase list;
  AddLines(list, {"$to a", "$cc b", "$to c"});
  list.Replace(u"$TO", 2, u"$to z");
  EXPECT_EQ(Texts(list), (Lines{"$to a", "$cc b", "$to z"}));
  list.Replace(u"$to", 1, u"");
  EXPECT_EQ(Texts(list), (Lines{"$cc b", "$to z"}));
  list.Replace(u"$bcc", 1, u"$bcc new");  // no such line: appended
  EXPECT_EQ(Texts(list), (Lines{"$cc b", "$to z", "$bcc new"}));
  EXPECT_EQ(ToUtf8(list.GetToken(u"$bcc", 1, 1)), "new");  // parsed
}

TEST(CmdFileReplace, ReplaceAllKeepsTheFirstPosition) {
  TFileBase list;
  AddLines(list, {"$send", "$fax_phone 1", "$x", "$FAX_PHONE 2", "$fax_phone 3"});
  EXPECT_EQ(list.ReplaceAll(u"$fax_phone", u"$fax_phone 123"), 1);
  EXPECT_EQ(Texts(list), (Lines{"$send", "$fax_phone 123", "$x"}));
  EXPECT_EQ(list.ReplaceAll(u"$fax_phone", u""), 1);
  EXPECT_EQ(Texts(list), (Lines{"$send", "$x"}));
  EXPECT_EQ(list.ReplaceAll(u"$none", u"$none 1"), 2);  // at the end
  EXPECT_EQ(list.ReplaceAllCommand(u"$x", u"a b"), 1);
  EXPECT_EQ(Texts(list), (Lines{"$send", "$x a b", "$none 1"}));
  EXPECT_EQ(list.ReplaceAllCommand(u"$x", u""), 1);
  EXPECT_EQ(Texts(list), (Lines{"$send", "$none 1"}));
}

TEST(CmdFileReplace, ReplaceAllTemplate) {
  struct Case {
    const char* parameters;
    Lines expected;
  };
  const Case cases[] = {
      {"logo=1", {"$a", "$fs_template cover logo=1", "$fs_template other", "$b"}},
      {"cover logo=1", {"$a", "$fs_template cover logo=1", "$fs_template other", "$b"}},
      {"  COVER logo=1", {"$a", "$fs_template   COVER logo=1", "$fs_template other", "$b"}},
      {"$FS_TEMPLATE cover logo=1", {"$a", "$FS_TEMPLATE cover logo=1", "$fs_template other", "$b"}},
      {"", {"$a", "$fs_template other", "$b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parameters);
    TFileBase list;
    AddLines(list, {"$a", "$fs_template Cover old", "$fs_template other", "$b", "$FS_TEMPLATE cover older"});
    EXPECT_EQ(list.ReplaceAllTemplate(u"cover", U(c.parameters)), 1);
    EXPECT_EQ(Texts(list), c.expected);
  }
  TFileBase none;
  AddLines(none, {"$a"});
  EXPECT_EQ(none.ReplaceAllTemplate(u"cover", u"logo=1"), 1);
  EXPECT_EQ(Texts(none), (Lines{"$a", "$fs_template cover logo=1"}));
}

// ---------------------------------------------------------------- values

TEST(CmdFileValues, GetEMail) {
  struct Case {
    const char* line;
    const char* value;
  };
  const Case cases[] = {
      {"$email_address Ann <a.b>, c.d ; main contact", "Ann <a.b>, c.d"},
      {"    $email_address Ann <a.b>, c.d ; main contact", "Ann <a.b>, c.d"},
      {"$email_address \"Ann, B\" <a.b>\t; tab comment", "\"Ann, B\" <a.b>"},
      {"$email_address a;b@c.d", "a;b@c.d"},
      // " ;" is looked for before a tab and ";".
      {"$email_address a\t;b ;c", "a\t;b"},
      {"$email_address", ""},
      {"$email_address   ; only a comment", "; only a comment"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    TFileBase list;
    list.Add(U(c.line));
    EXPECT_EQ(ToUtf8(list.GetEMail(u"$email_address", 1)), c.value);
  }
  TFileBase list;
  AddLines(list, {"$email_address first", "$email_address second"});
  EXPECT_EQ(ToUtf8(list.GetEMail(u"$EMAIL_ADDRESS", 2)), "second");
  EXPECT_TRUE(list.GetEMail(u"$email_address", 3).empty());

  // At most 999 characters after the keyword, then trimmed.
  TFileBase longLine;
  longLine.Add(u"$email_text " + String(998, u'x') + u"yz ;c");
  EXPECT_EQ(longLine.GetEMail(u"$email_text", 1), String(998, u'x'));
  EXPECT_EQ(longLine.GetRestOfLine(u"$email_text", 1), String(998, u'x') + u"yz");
}

TEST(CmdFileValues, RestOfLineCutsAtTheFirstBlankAndSemicolon) {
  TFileBase list;
  AddLines(list, {"$email_from a\t;b ;c", "  $email_from  x y  "});
  EXPECT_EQ(ToUtf8(list.GetRestOfLine(u"$email_from", 1)), "a");
  EXPECT_EQ(ToUtf8(list.GetRestOfLine(u"$email_from", 2)), "x y");
  EXPECT_TRUE(list.GetRestOfLine(u"$email_from", 3).empty());
}

TEST(CmdFileValues, GetImageSet) {
  struct Case {
    Lines lines;
    int set;
  };
  const Case cases[] = {
      {{"$convert_options A IMG3", "$x IMG5", "$convert_options img07 B"}, 7},
      {{"$convert_options IMG12"}, -1},
      {{"$convert_options IMG3 IMG12"}, 3},
      {{"$convert_options \"IMG4\" IMGx IMG"}, 4},
      {{"$convert_options IMG9", "$convert_options"}, 9},
      {{"$convert_options NOIMG3"}, -1},
      {{}, -1},
  };
  for (const Case& c : cases) {
    TFileBase list;
    AddLines(list, c.lines);
    EXPECT_EQ(list.GetImageSet(), c.set) << (c.lines.empty() ? "" : c.lines.front());
  }
}

}  // namespace
}  // namespace qv
