#include "cmdfile/tfilebase.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/memory/memory_machine.h"
#include "platform/seam.h"

namespace qv {
namespace {

using Tokens = std::vector<std::string>;

Tokens Utf8Tokens(const TokenList& tokens) {
  Tokens out;
  for (const String& t : tokens) out.push_back(ToUtf8(t));
  return out;
}

std::vector<std::string> Texts(const TFileBase& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(ToUtf8(list.Text(i)));
  return out;
}

void AddLines(TFileBase& list, const std::vector<std::string>& lines) {
  for (const std::string& l : lines) list.Add(U(l));
}

// Restores the process-wide macro characters after a test changes them.
class MacroCharGuard {
 public:
  MacroCharGuard() : c1_(TFileBase::MacroChar1()), c2_(TFileBase::MacroChar2()) {}
  ~MacroCharGuard() {
    TFileBase::SetMacroChar1(c1_);
    TFileBase::SetMacroChar2(c2_);
  }

 private:
  char16_t c1_, c2_;
};

// ------------------------------------------------------------------ parsing
struct ParseCase {
  std::string text;
  Tokens kept;       // tokens with Discardcomments false
  Tokens discarded;  // tokens with Discardcomments true
  bool comment;
};

const ParseCase kParseCases[] = {
    // blank and comment lines
    {"", {" "}, {" "}, true},
    {"   ", {" "}, {" "}, true},
    {" \t \t", {" "}, {" "}, true},
    {"; note", {"; note"}, {" "}, true},
    {"  \t; note  ", {"; note  "}, {" "}, true},
    {"/* block", {"/* block"}, {" "}, true},
    {"  /*x*/ $a 1", {"/*x*/ $a 1"}, {" "}, true},
    // the keyword: no special characters, ends at a blank
    {"x", {"x"}, {"x"}, false},
    {"\t $x\t a  ", {"$x", "a"}, {"$x", "a"}, false},
    {"\"$x\" y", {"\"$x\"", "y"}, {"\"$x\"", "y"}, false},
    {"$x;y z", {"$x;y", "z"}, {"$x;y", "z"}, false},
    {"$x/*c*/ z", {"$x/*c*/", "z"}, {"$x/*c*/", "z"}, false},
    {"/x y", {"/x", "y"}, {"/x", "y"}, false},
    // trailing comments
    {"$fax_phone 555 ; call first", {"$fax_phone", "555", "; call first"}, {"$fax_phone", "555"}, false},
    {"$x ;", {"$x", ";"}, {"$x"}, false},
    {"$x a;b", {"$x", "a;b"}, {"$x", "a;b"}, false},
    // inline comments (never discarded)
    {"$x a/*c*/b", {"$x", "a/*c*/b"}, {"$x", "a/*c*/b"}, false},
    {"$x a /*c*/b", {"$x", "a", "/*c*/", "b"}, {"$x", "a", "/*c*/", "b"}, false},
    {"$x /*/ y", {"$x", "/*/", "y"}, {"$x", "/*/", "y"}, false},
    {"$x /* a b", {"$x", "/* a b"}, {"$x", "/* a b"}, false},
    {"$x /*c*/;z", {"$x", "/*c*/", ";z"}, {"$x", "/*c*/"}, false},
    {"$x /* a */ b /**/", {"$x", "/* a */", "b", "/**/"}, {"$x", "/* a */", "b", "/**/"}, false},
    // quoted tokens
    {"$x \"a b\" c", {"$x", "\"a b\"", "c"}, {"$x", "\"a b\"", "c"}, false},
    {"$x \"a\"\"b\"", {"$x", "\"a\"\"b\""}, {"$x", "\"a\"\"b\""}, false},
    {"$x \"abc", {"$x", "\"abc\""}, {"$x", "\"abc\""}, false},
    {"$x \"a\"\"", {"$x", "\"a\"\"\""}, {"$x", "\"a\"\"\""}, false},
    {"$x \"\" c", {"$x", "\"\"", "c"}, {"$x", "\"\"", "c"}, false},
    {"$x \"", {"$x", "\"\""}, {"$x", "\"\""}, false},
    {"$x \"a\"b", {"$x", "\"a\"", "b"}, {"$x", "\"a\"", "b"}, false},
    {"$x \"a ; b /* c\" d", {"$x", "\"a ; b /* c\"", "d"}, {"$x", "\"a ; b /* c\"", "d"}, false},
    {"$x \"a\";c", {"$x", "\"a\"", ";c"}, {"$x", "\"a\""}, false},
    {"$x\t\"a\tb\"", {"$x", "\"a\tb\""}, {"$x", "\"a\tb\""}, false},
    // the macro character (default '@') escapes a quote inside a quoted token
    {"$x \"a@\"b\" c", {"$x", "\"a@\"b\"", "c"}, {"$x", "\"a@\"b\"", "c"}, false},
    {"$x \"a@\"", {"$x", "\"a@\""}, {"$x", "\"a@\""}, false},
    {"$x \"a@\" b", {"$x", "\"a@\" b\""}, {"$x", "\"a@\" b\""}, false},
    // quotes inside plain tokens are ordinary characters
    {"$x a\"b c\"", {"$x", "a\"b", "c\""}, {"$x", "a\"b", "c\""}, false},
    {"$x @\"b c\"", {"$x", "@\"b", "c\""}, {"$x", "@\"b", "c\""}, false},
};

TEST(TFileBaseParse, TokensAndCommentFlag) {
  for (const bool discard : {false, true}) {
    TFileBase list;
    list.SetDiscardcomments(discard);
    for (const ParseCase& c : kParseCases) {
      SCOPED_TRACE("line [" + c.text + "] discard=" + (discard ? "true" : "false"));
      const int index = list.Add(U(c.text));
      ASSERT_EQ(index, list.Count() - 1);
      EXPECT_EQ(Utf8Tokens(list.GetSL(index)), discard ? c.discarded : c.kept);
      EXPECT_EQ(list.IsComment(index), c.comment);
      EXPECT_EQ(ToUtf8(list.Text(index)), c.text);  // the text stays as given
    }
  }
}

TEST(TFileBaseParse, OtherMacroCharacter) {
  MacroCharGuard guard;
  EXPECT_EQ(TFileBase::MacroChar1(), u'@');
  EXPECT_EQ(TFileBase::MacroChar2(), u'`');
  TFileBase::SetMacroChar1(u'M');
  TFileBase::SetMacroChar2(u'N');
  EXPECT_EQ(TFileBase::MacroChar2(), u'N');
  TFileBase list;
  list.Add(u"$x \"aM\"b\" c");
  list.Add(u"$x \"a@\"b\" c");  // '@' no longer escapes
  list.Add(u"$x M\"b c\"");     // a plain token ending in M before a quote
  EXPECT_EQ(Utf8Tokens(list.GetSL(0)), (Tokens{"$x", "\"aM\"b\"", "c"}));
  EXPECT_EQ(Utf8Tokens(list.GetSL(1)), (Tokens{"$x", "\"a@\"", "b\"", "c"}));
  EXPECT_EQ(Utf8Tokens(list.GetSL(2)), (Tokens{"$x", "M\"b", "c\""}));

  // A quote right after the macro character does not open a quoted token
  // even where a token starts (here after an inline comment ending in it).
  TFileBase::SetMacroChar1(u'/');
  list.Add(u"$x /*c*/\"a b\"");
  EXPECT_EQ(Utf8Tokens(list.GetSL(3)), (Tokens{"$x", "/*c*/", "\"a", "b\""}));
}

TEST(TFileBaseParse, DiscardcommentsAffectsOnlyLaterLines) {
  TFileBase list;
  list.Add(u"; kept");
  list.SetDiscardcomments(true);
  EXPECT_TRUE(list.Discardcomments());
  list.Add(u"; dropped");
  EXPECT_EQ(Utf8Tokens(list.GetSL(0)), (Tokens{"; kept"}));
  EXPECT_EQ(Utf8Tokens(list.GetSL(1)), (Tokens{" "}));
}

// ------------------------------------------------------------ list interface
TEST(TFileBaseList, InitialState) {
  TFileBase list;
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.LastIndex(), -1);
  EXPECT_EQ(list.LastVardefIndex(), -1);
  EXPECT_FALSE(list.Discardcomments());
  EXPECT_FALSE(list.Indented());
  EXPECT_EQ(list.MinKeySize(), 0);
  EXPECT_TRUE(list.IncludeFileName().empty());
}

TEST(TFileBaseList, InsertPutTextExchangeDelete) {
  TFileBase list;
  AddLines(list, {"$a 1", "$b 2"});
  EXPECT_TRUE(list.Insert(0, u"$first"));
  EXPECT_TRUE(list.Insert(3, u"$last x"));
  EXPECT_FALSE(list.Insert(-1, u"$bad"));
  EXPECT_FALSE(list.Insert(5, u"$bad"));
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$first", "$a 1", "$b 2", "$last x"}));

  EXPECT_TRUE(list.PutText(1, u"; now a comment"));
  EXPECT_TRUE(list.IsComment(1));
  EXPECT_EQ(Utf8Tokens(list.GetSL(1)), (Tokens{"; now a comment"}));
  EXPECT_FALSE(list.PutText(4, u"$bad"));

  EXPECT_TRUE(list.Exchange(0, 3));
  EXPECT_FALSE(list.Exchange(0, 4));
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$last x", "; now a comment", "$b 2", "$first"}));
  EXPECT_EQ(Utf8Tokens(list.GetSL(0)), (Tokens{"$last", "x"}));

  for (int bad : {-1, list.Count()}) list.Delete(bad);
  EXPECT_EQ(list.Count(), 4);
  list.Delete(1);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$last x", "$b 2", "$first"}));

  // Out-of-range reads give empty results.
  EXPECT_TRUE(list.Text(7).empty());
  EXPECT_TRUE(list.GetSL(-1).empty());
  EXPECT_FALSE(list.IsComment(7));
}

TEST(TFileBaseList, PutObjectReplacesTokensOnly) {
  TFileBase list;
  list.Add(u"$a 1");
  EXPECT_TRUE(list.PutObject(0, {u"$b", u"2", u"3"}));
  EXPECT_FALSE(list.PutObject(1, {u"$c"}));
  EXPECT_EQ(ToUtf8(list.Text(0)), "$a 1");
  EXPECT_EQ(ToUtf8(list.GetToken(u"$b", 1, 2)), "3");
  EXPECT_TRUE(list.GetToken(u"$a", 1, 0).empty());
}

TEST(TFileBaseList, ClearAndAddStrings) {
  TFileBase list;
  list.SetIncludeFileName(u"inc.cfg");
  list.AddStrings({u"$a 1", u"", u"$b \"x y\""});
  EXPECT_EQ(list.Count(), 3);
  EXPECT_TRUE(list.IsComment(1));
  EXPECT_EQ(ToUtf8(list.GetSqToken(u"$b", 1, 1)), "x y");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_TRUE(list.IncludeFileName().empty());
}

TEST(TFileBaseList, AddBaseCopiesWithoutParsing) {
  TFileBase source;
  AddLines(source, {"$a 1 ; c", "; note", "   "});
  source.SetToken(0, 1, u"changed");  // tokens now differ from the text

  TFileBase target;
  target.SetDiscardcomments(true);  // would drop "; c" and "; note" if it parsed
  target.Add(u"$pre");
  target.AddBase(source);
  ASSERT_EQ(target.Count(), 4);
  for (int i = 0; i < source.Count(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(target.Text(i + 1), source.Text(i));
    EXPECT_EQ(target.GetSL(i + 1), source.GetSL(i));
    EXPECT_EQ(target.IsComment(i + 1), source.IsComment(i));
  }

  // A list appended to itself gets each of its lines once more.
  target.AddBase(target);
  ASSERT_EQ(target.Count(), 8);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(target.Text(i + 4), target.Text(i));
    EXPECT_EQ(target.GetSL(i + 4), target.GetSL(i));
  }
}

// ------------------------------------------------------------ keyword lookup
TEST(TFileBaseLookup, InstancesTokensAndComments) {
  TFileBase list;
  AddLines(list, {"; header", "$a 1 x", "$b 2", "$A 3", "", "$a 4", "  $a"});
  struct Case {
    const char* keyword;
    int inst, token;
    std::string expected;
    int lastIndex;
  };
  const Case cases[] = {
      {"$a", 1, 1, "1", 1},     {"$a", 1, 2, "x", 1},  {"$a", 2, 1, "3", 3},  {"$A", 3, 1, "4", 5},
      {"$a", 2, 0, "$A", 3},    {"$a", 4, 0, "$a", 6}, {"$a", 5, 0, "", -1},  {"$a", 4, 1, "", -1},
      {"$a", 0, 0, "", -1},     {"$a", -1, 0, "", -1}, {"$a", 1, -1, "", -1}, {"$c", 1, 0, "", -1},
      {";", 1, 0, "; header", 0}, {";", 2, 0, " ", 4}, {";", 3, 0, "", -1},   {"$b", 1, 1, "2", 2},
  };
  for (const bool cold : {true, false}) {  // each request after a failed lookup, then after the previous one
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.keyword) + " " + std::to_string(c.inst) + " " + std::to_string(c.token));
      if (cold) list.GetToken(u"$none", 1, 0);
      EXPECT_EQ(ToUtf8(list.GetToken(U(c.keyword), c.inst, c.token)), c.expected);
      EXPECT_EQ(list.LastIndex(), c.lastIndex);
    }
  }
}

TEST(TFileBaseLookup, MissingTokenOfExistingLineEndsAsNotFound) {
  TFileBase list;
  AddLines(list, {"$k a b c", "$k d e"});
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 1, 1)), "a");
  EXPECT_TRUE(list.GetToken(u"$k", 2, 5).empty());
  EXPECT_EQ(list.LastIndex(), -1);
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 2, 2)), "e");
  EXPECT_EQ(list.LastIndex(), 1);
}

TEST(TFileBaseLookup, RepeatedRequestIsAnsweredFromTheCache) {
  TFileBase list;
  AddLines(list, {"$x", "$k a b", "$k c"});
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 2, 0)), "$k");
  EXPECT_EQ(list.LastIndex(), 2);
  // The same keyword and instance reads the cached line: a missing token
  // is empty without ending the cache.
  EXPECT_TRUE(list.GetToken(u"$k", 2, 4).empty());
  EXPECT_EQ(list.LastIndex(), 2);
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 2, 1)), "c");
  // Token changes other than the keyword keep the cache and are seen.
  list.SetToken(2, 1, u"new");
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 2, 1)), "new");
}

TEST(TFileBaseLookup, AliasedKeywords) {
  TFileBase list;
  AddLines(list, {"$x", "$image_locn A", "$Script_Locn B", "$TYPE t1", "$image_type t2"});
  struct Case {
    const char* keyword;
    int inst, token;
    std::string expected;
    int lastIndex;
  };
  const Case cases[] = {
      {"$IMAGE_LOCN", 1, 1, "A", 1},         {"$image_locn", 2, 1, "B", 2}, {"$script_locn", 1, 0, "$image_locn", 1},
      {"$SCRIPT_LOCN", 2, 0, "$Script_Locn", 2}, {"$image_locn", 3, 0, "", -1}, {"$type", 2, 1, "t2", 4},
      {"$Image_Type", 1, 1, "t1", 3},        {"$image_type", 2, 0, "$image_type", 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.keyword) + " " + std::to_string(c.inst));
    EXPECT_EQ(ToUtf8(list.GetToken(U(c.keyword), c.inst, c.token)), c.expected);
    EXPECT_EQ(list.LastIndex(), c.lastIndex);
  }
}

// After a lookup, an operation that moves lines or changes a keyword must not
// leave a cached line index that answers the next lookup wrongly.
TEST(TFileBaseLookup, ChangesEndTheCache) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    int firstInst;  // lookup of "$k" before the change
    std::function<void(TFileBase&)> change;
    int inst;  // lookup of "$k" token 1 after it
    std::string expected;
    int lastIndex;
  };
  const Case cases[] = {
      {"Delete before the cached line", {"$k a", "$x", "$k b", "$k c"}, 2, [](TFileBase& l) { l.Delete(0); }, 2,
       "c", 2},
      {"Delete of the cached line", {"$k a", "$k b", "$k c"}, 2, [](TFileBase& l) { l.Delete(1); }, 2, "c", 1},
      {"Clear and reload", {"$k a", "$k b"}, 2,
       [](TFileBase& l) {
         l.Clear();
         l.Add(u"$x");
         l.Add(u"$k y");
         l.Add(u"$k z");
       },
       2, "z", 2},
      {"SetToken 0 of an earlier line", {"$k a", "$k b", "$k c"}, 2, [](TFileBase& l) { l.SetToken(0, 0, u"$x"); },
       2, "c", 2},
      {"SetToken 0 of the cached line", {"$k a", "$k b", "$k c"}, 2, [](TFileBase& l) { l.SetToken(1, 0, u"$x"); },
       2, "c", 2},
      {"Insert before the cached line", {"$k a", "$x", "$k b", "$k c"}, 2,
       [](TFileBase& l) { l.Insert(0, u"$y"); }, 2, "b", 3},
      {"Insert before a resumed lookup", {"$k a", "$k b", "$k c"}, 1, [](TFileBase& l) { l.Insert(0, u"$k new"); },
       2, "a", 1},
      {"PutText of the cached line", {"$k a", "$k b", "$k c"}, 2, [](TFileBase& l) { l.PutText(1, u"$x b"); }, 2,
       "c", 2},
      {"PutObject of the cached line", {"$k a", "$k b", "$k c"}, 2, [](TFileBase& l) { l.PutObject(1, {u"$x"}); },
       2, "c", 2},
      {"Exchange", {"$k a", "$x", "$k b"}, 2, [](TFileBase& l) { l.Exchange(1, 2); }, 2, "b", 1},
      {"Load", {"$k a", "$k b", "$k c"}, 2, [](TFileBase& l) { l.LoadFromString(u"$k 1\r\n$x\r\n$k 2\r\n"); }, 2,
       "2", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFileBase list;
    AddLines(list, c.lines);
    ASSERT_FALSE(list.GetToken(u"$k", c.firstInst, 0).empty());
    c.change(list);
    EXPECT_EQ(ToUtf8(list.GetToken(u"$k", c.inst, 1)), c.expected);
    EXPECT_EQ(list.LastIndex(), c.lastIndex);
  }
}

TEST(TFileBaseLookup, AppendingKeepsResumingCorrect) {
  TFileBase list;
  AddLines(list, {"$k a", "$x"});
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 1, 1)), "a");
  list.Add(u"$k b");
  list.AddStrings({u"$k c"});
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 2, 1)), "b");
  EXPECT_EQ(ToUtf8(list.GetToken(u"$k", 3, 1)), "c");
  EXPECT_EQ(list.LastIndex(), 3);
}

TEST(TFileBaseLookup, ReadingEveryInstanceInALoopStaysLinear) {
  // 20000 instances: resuming after each match examines each line once; a
  // rescan from the first line for each instance would examine 2 * 10^8.
  constexpr int kLines = 20000;
  TFileBase list;
  std::vector<String> lines;
  lines.reserve(kLines);
  for (int i = 0; i < kLines; ++i) lines.push_back(u"$k " + ToString(i));
  list.AddStrings(lines);
  const std::uint64_t before = list.LookupLinesExamined();
  int seen = 0;
  for (int inst = 1; !list.GetToken(u"$k", inst, 0).empty(); ++inst) {
    ASSERT_EQ(list.GetToken(u"$k", inst, 1), ToString(inst - 1));
    ++seen;
  }
  EXPECT_EQ(seen, kLines);
  // Each line once, plus the final failed lookup's (empty) resume.
  EXPECT_LE(list.LookupLinesExamined() - before, static_cast<std::uint64_t>(kLines) + 1);
}

TEST(TFileBaseLookup, SqTokenUnquoting) {
  struct Case {
    std::string token, expected;
  };
  const Case cases[] = {
      {"\"a b\"", "a b"}, {"\"a\"\"b\"", "a\"b"}, {"\"\"\"\"", "\""}, {"\"\"", ""},     {"\"", ""},
      {"\"abc", "abc"},   {"\"a\"x\"", "a"},      {"plain", "plain"}, {"a\"b\"", "a\"b\""}, {"\"a@\"b\"", "a@"},
  };
  TFileBase list;
  list.Add(u"$q");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.token);
    list.SetToken(0, 1, U(c.token));
    EXPECT_EQ(ToUtf8(list.GetSqToken(u"$q", 1, 1)), c.expected);
  }
  EXPECT_TRUE(list.GetSqToken(u"$q", 1, 9).empty());
  EXPECT_EQ(list.LastIndex(), 0);  // a cache hit: the line is still known

  TFileBase parsed;
  parsed.Add(u"$x \"a\"\"b\"");
  EXPECT_EQ(ToUtf8(parsed.GetSqToken(u"$x", 1, 1)), "a\"b");
}

TEST(TFileBaseLookup, SetToken) {
  TFileBase list;
  AddLines(list, {"$a 1 2"});
  list.SetToken(0, 1, u"one");
  list.SetToken(0, 3, u"three");  // appended
  list.SetToken(0, 5, u"five");   // beyond the end: ignored
  list.SetToken(0, -1, u"neg");
  list.SetToken(1, 0, u"$none");
  list.SetToken(-1, 0, u"$none");
  EXPECT_EQ(Utf8Tokens(list.GetSL(0)), (Tokens{"$a", "one", "2", "three"}));
  EXPECT_EQ(ToUtf8(list.Text(0)), "$a 1 2");  // until Pack
  list.Pack();
  EXPECT_EQ(ToUtf8(list.Text(0)), "$a one 2 three");

  list.PutObject(0, {});
  list.SetToken(0, 0, u"$b");  // an empty list takes a first token
  EXPECT_EQ(Utf8Tokens(list.GetSL(0)), (Tokens{"$b"}));
}

TEST(TFileBaseLookup, LineWithoutTokenList) {
  TFileBase list;
  AddLines(list, {"$a 1", "$a 2"});
  EXPECT_TRUE(list.HasTokenList(0));
  ASSERT_TRUE(list.PutObject(0, std::nullopt));
  EXPECT_FALSE(list.HasTokenList(0));
  EXPECT_FALSE(list.PutObject(2, std::nullopt));

  for (int parmno : {0, 1}) list.SetToken(0, parmno, u"$x");  // nothing happens
  EXPECT_FALSE(list.HasTokenList(0));
  EXPECT_TRUE(list.GetSL(0).empty());
  EXPECT_EQ(ToUtf8(list.Text(0)), "$a 1");
  EXPECT_EQ(ToUtf8(list.GetToken(u"$a", 1, 1)), "2");  // the line is skipped
  EXPECT_EQ(list.LastIndex(), 1);

  TFileBase copy;
  copy.AddBase(list);
  EXPECT_FALSE(copy.HasTokenList(0));
  list.Pack();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"", "$a 2"}));
}

// ---------------------------------------------------------------------- Pack
TEST(TFileBasePack, RebuildsTexts) {
  TFileBase list;
  AddLines(list, {"  $x   a\t\t\"b  c\"   ; trail", "\t; note", "$y /* in */ z", "   "});
  list.Pack();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$x a \"b  c\" ; trail", "; note", "$y /* in */ z", " "}));
  EXPECT_TRUE(list.IsComment(1));
  EXPECT_EQ(Utf8Tokens(list.GetSL(0)), (Tokens{"$x", "a", "\"b  c\"", "; trail"}));

  list.PutObject(2, {});
  list.Pack();
  EXPECT_EQ(ToUtf8(list.Text(2)), "");
}

TEST(TFileBasePack, IndentedBlocks) {
  struct Case {
    const char* name;
    std::vector<std::string> lines, expected;
  };
  const Case cases[] = {
      {"one block",
       {"$if A", "$x 1", "$else", "$x 2", "$endif"},
       {"$if A", "    $x 1", "$else", "    $x 2", "$endif"}},
      {"nested blocks, keywords in any case",
       {"$IF A", "$ifn B", "$y", "  $Else", "$z", "$endif", "$ife C", "$ifne D", "$w", "$ENDIF", "$endif", "$x",
        "$endif", "$after"},
       {"$IF A", "    $ifn B", "        $y", "    $Else", "        $z", "    $endif", "    $ife C",
        "        $ifne D", "            $w", "        $ENDIF", "    $endif", "    $x", "$endif", "$after"}},
      {"comments stay in column 0, blank lines are indented",
       {"$if A", "  ; note", "/* c */", "", "$x", "$endif"},
       {"$if A", "; note", "/* c */", "     ", "    $x", "$endif"}},
      {"only the first six characters name a block keyword",
       {"$ifdef A", "$x", "$if", "$elsewhere", "$endif_x", "$y"},
       {"$ifdef A", "$x", "$if", "    $elsewhere", "$endif_x", "$y"}},
      {"unbalanced $endif and $else keep their keyword in column 0",
       {"$endif", "$x 1", "$else", "$if A", "$y", "$endif", "$endif", "$z"},
       {"$endif", "$x 1", "$else", "$if A", "    $y", "$endif", "$endif", "$z"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFileBase list;
    AddLines(list, c.lines);
    list.SetIndented(true);  // rebuilds at once
    EXPECT_TRUE(list.Indented());
    EXPECT_EQ(Texts(list), c.expected);
  }
}

TEST(TFileBasePack, MinKeySize) {
  TFileBase list;
  AddLines(list, {"$to a", "$a_very_long_key b", "$cc", "$if A", "$to b", "$endif"});
  list.SetMinKeySize(12);
  EXPECT_EQ(list.MinKeySize(), 12);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$to          a", "$a_very_long_key b", "$cc         ",
                                                   "$if          A", "$to          b", "$endif      "}));
  list.SetIndented(true);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$to          a", "$a_very_long_key b", "$cc         ",
                                                   "$if          A", "    $to          b", "$endif      "}));
  list.SetMinKeySize(0);
  list.SetIndented(false);
  EXPECT_EQ(ToUtf8(list.Text(4)), "$to b");
}

// ------------------------------------------------------------ load and save
Bytes ToBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

Bytes Saved(const TFileBase& list, TextEncoding encoding) {
  Bytes bytes;
  EXPECT_EQ(list.SaveToBytes(encoding, bytes), platform::kOk);
  return bytes;
}

Bytes Utf16BeBytes(const String& text, bool bom) {
  Bytes out;
  if (bom) out = {0xFE, 0xFF};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c >> 8));
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
  }
  return out;
}

Bytes Utf16Bytes(const String& text, bool bom) {
  Bytes out;
  if (bom) out = {0xFF, 0xFE};
  for (char16_t c : text) {
    out.push_back(static_cast<std::uint8_t>(c & 0xFF));
    out.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return out;
}

TEST(TFileBaseLoad, LineBreaks) {
  struct Case {
    std::string text;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"\r\n", {""}},
      {"$a", {"$a"}},
      {"$a\r\n", {"$a"}},
      {"$a\r\n$b\n$c\r$d", {"$a", "$b", "$c", "$d"}},
      {"$a\n\n$b\r\n\r\n", {"$a", "", "$b", ""}},
      {"$a\r\r\n$b", {"$a", "", "$b"}},
      {"\n\r", {"", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TFileBase list;
    list.Add(u"$old");
    list.SetIncludeFileName(u"old.inc");
    EXPECT_EQ(list.LoadFromBytes(ToBytes(c.text), TextEncoding::Utf8), platform::kOk);
    EXPECT_EQ(Texts(list), c.lines);
    EXPECT_TRUE(list.IncludeFileName().empty());
  }
}

TEST(TFileBaseLoad, ByteOrderMarksAndCallerEncoding) {
  const String text = u"$a \"é €\" 中\r\n; c\r\n";
  const std::string utf8 = ToUtf8(text);
  struct Case {
    const char* name;
    Bytes bytes;
    std::optional<TextEncoding> given;
    TextEncoding used;
  };
  const Case cases[] = {
      {"UTF-8 BOM", ToBytes("\xEF\xBB\xBF" + utf8), std::nullopt, TextEncoding::Utf8},
      {"UTF-8 BOM over a given encoding", ToBytes("\xEF\xBB\xBF" + utf8), TextEncoding::Utf16LE, TextEncoding::Utf8},
      {"UTF-8 given, no BOM", ToBytes(utf8), TextEncoding::Utf8, TextEncoding::Utf8},
      {"UTF-16 BOM", Utf16Bytes(text, true), std::nullopt, TextEncoding::Utf16LE},
      {"UTF-16 BOM over a given encoding", Utf16Bytes(text, true), TextEncoding::Ansi, TextEncoding::Utf16LE},
      {"UTF-16 given, no BOM", Utf16Bytes(text, false), TextEncoding::Utf16LE, TextEncoding::Utf16LE},
      {"UTF-16 BE BOM", Utf16BeBytes(text, true), std::nullopt, TextEncoding::Utf16BE},
      {"UTF-16 BE BOM over a given encoding", Utf16BeBytes(text, true), TextEncoding::Utf8, TextEncoding::Utf16BE},
      {"UTF-16 BE given, no BOM", Utf16BeBytes(text, false), TextEncoding::Utf16BE, TextEncoding::Utf16BE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFileBase list;
    TextEncoding used = TextEncoding::Ansi;
    EXPECT_EQ(list.LoadFromBytes(c.bytes, c.given, &used), platform::kOk);
    EXPECT_EQ(used, c.used);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Text(0), u"$a \"é €\" 中");
    EXPECT_EQ(list.GetSqToken(u"$a", 1, 1), u"é €");
    EXPECT_TRUE(list.IsComment(1));
  }
}

TEST(TFileBaseLoad, DamagedInputBecomesReplacementCharacters) {
  TFileBase list;
  Bytes odd = Utf16Bytes(u"$a b", true);
  odd.push_back(0x41);
  list.LoadFromBytes(odd);
  EXPECT_EQ(list.Text(0), u"$a b\uFFFD");

  list.LoadFromBytes(ToBytes("\xEF\xBB\xBF$a \xFF"));
  EXPECT_EQ(list.Text(0), u"$a \uFFFD");
}

TEST(TFileBaseSave, RoundTrips) {
  TFileBase list;
  AddLines(list, {"$a \"é €\" 中", "", "; c", "$b 1"});
  const String expected = u"$a \"é €\" 中\r\n\r\n; c\r\n$b 1\r\n";
  EXPECT_EQ(list.ToText(), expected);

  const Bytes utf8 = Saved(list, TextEncoding::Utf8);
  EXPECT_EQ(utf8, ToBytes("\xEF\xBB\xBF" + ToUtf8(expected)));
  const Bytes utf16 = Saved(list, TextEncoding::Utf16LE);
  EXPECT_EQ(utf16, Utf16Bytes(expected, true));

  for (const Bytes* bytes : {&utf8, &utf16}) {
    TFileBase back;
    back.LoadFromBytes(*bytes);
    EXPECT_EQ(Texts(back), Texts(list));
  }

  const Bytes utf16be = Saved(list, TextEncoding::Utf16BE);
  EXPECT_EQ(utf16be, Utf16BeBytes(expected, true));
  TFileBase back;
  back.LoadFromBytes(utf16be);
  EXPECT_EQ(Texts(back), Texts(list));

  TFileBase empty;
  EXPECT_EQ(Saved(empty, TextEncoding::Utf8), (Bytes{0xEF, 0xBB, 0xBF}));
  EXPECT_EQ(Saved(empty, TextEncoding::Utf16BE), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(Saved(empty, TextEncoding::Ascii), Bytes());
  EXPECT_EQ(Saved(empty, TextEncoding::Utf16LE), (Bytes{0xFF, 0xFE}));
  EXPECT_EQ(Saved(empty, TextEncoding::Ansi), Bytes());
}

TEST(TFileBaseSave, AsciiWritesQuestionMarksAndCountsThem) {
  TFileBase list;
  AddLines(list, {"$a \"é €\" 中", "$b plain", "$c 😀"});  // the last is one character of two units
  Bytes bytes;
  std::size_t replaced = 99;
  ASSERT_EQ(list.SaveToBytes(TextEncoding::Ascii, bytes, &replaced), platform::kOk);
  EXPECT_EQ(bytes, ToBytes("$a \"? ?\" ?\r\n$b plain\r\n$c ?\r\n"));
  EXPECT_EQ(replaced, 4u);

  TFileBase plain;
  plain.Add(u"$b plain");
  ASSERT_EQ(plain.SaveToBytes(TextEncoding::Ascii, bytes, &replaced), platform::kOk);
  EXPECT_EQ(replaced, 0u);

  // Reading ASCII keeps 7-bit bytes; anything above reads as "?".
  TextEncoding used = TextEncoding::Ansi;
  ASSERT_EQ(plain.LoadFromBytes(ToBytes("$a x\xE9y\r\n"), TextEncoding::Ascii, &used), platform::kOk);
  EXPECT_EQ(used, TextEncoding::Ascii);
  EXPECT_EQ(plain.Text(0), u"$a x?y");
}

TEST(TFileBaseFiles, AnsiThroughTheMachineCodePage) {
  platform::MemoryMachine machine;
  platform::ScopedPlatform scope(machine);
  TFileBase list;
  TextEncoding used = TextEncoding::Utf8;
  EXPECT_EQ(list.LoadFromBytes(ToBytes("$a \xE9\x80\r\n$b"), std::nullopt, &used), platform::kOk);
  EXPECT_EQ(used, TextEncoding::Ansi);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$a é€", "$b"}));
  EXPECT_EQ(Saved(list, TextEncoding::Ansi), ToBytes("$a \xE9\x80\r\n$b\r\n"));
  // A UTF-8 file without a byte-order mark is read as ANSI.
  list.LoadFromBytes(ToBytes("$a \xC3\xA9"));
  EXPECT_EQ(list.Text(0), u"$a \u00C3\u00A9");
}

TEST(TFileBaseFiles, LoadAndSave) {
  platform::MemoryMachine machine;
  platform::ScopedPlatform scope(machine);
  const String path = u"C:\\Cfg\\TARVEX.CFG";
  ASSERT_TRUE(machine.WriteBytes(path, Utf16Bytes(u"$a 1\r\n$b \"x\"", true)));

  TFileBase list;
  TextEncoding used = TextEncoding::Ansi;
  EXPECT_EQ(list.LoadFromFile(path, std::nullopt, &used), platform::kOk);
  EXPECT_EQ(used, TextEncoding::Utf16LE);
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$a 1", "$b \"x\""}));

  const String copy = u"C:\\Cfg\\COPY.CFG";
  for (const TextEncoding encoding : {TextEncoding::Utf8, TextEncoding::Utf16LE, TextEncoding::Ansi,
                                      TextEncoding::Utf16BE, TextEncoding::Ascii}) {
    SCOPED_TRACE(static_cast<int>(encoding));
    ASSERT_EQ(list.SaveToFile(copy, encoding), platform::kOk);
    EXPECT_EQ(machine.ReadBytes(copy), std::optional<Bytes>(Saved(list, encoding)));
    TFileBase back;
    EXPECT_EQ(back.LoadFromFile(copy, encoding, &used), platform::kOk);
    EXPECT_EQ(used, encoding);
    EXPECT_EQ(Texts(back), Texts(list));
  }
}

TEST(TFileBaseFiles, FailuresLeaveTheListAndReportTheError) {
  platform::MemoryMachine machine;
  platform::ScopedPlatform scope(machine);
  const String path = u"C:\\Cfg\\TARVEX.CFG";
  ASSERT_TRUE(machine.WriteTextFile(path, "$new"));
  TFileBase list;
  list.Add(u"$old");

  EXPECT_EQ(list.LoadFromFile(u"C:\\Cfg\\MISSING.CFG"), platform::kErrFileNotFound);
  machine.InjectFailure("ReadFile", 0, platform::kErrAccessDenied);
  EXPECT_EQ(list.LoadFromFile(path), platform::kErrAccessDenied);
  machine.ClearFailures();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$old"}));

  // A failed ANSI conversion is an error, not an empty file.
  machine.InjectFailure("MultiByteToWideChar", 0, platform::kErrInvalidParameter);
  EXPECT_EQ(list.LoadFromFile(path), kErrNoUnicodeTranslation);
  EXPECT_EQ(list.LoadFromFile(path, TextEncoding::Utf8), platform::kOk);  // no conversion needed
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$new"}));
  machine.ClearFailures();

  list.PutText(0, u"$changed");
  machine.InjectFailure("CreateFileW", 0, platform::kErrAccessDenied, path);
  EXPECT_EQ(list.SaveToFile(path, TextEncoding::Utf8), platform::kErrAccessDenied);
  machine.ClearFailures();
  machine.InjectFailure("WideCharToMultiByte", 0, platform::kErrInvalidParameter);
  EXPECT_EQ(list.SaveToFile(path, TextEncoding::Ansi), kErrNoUnicodeTranslation);
  machine.ClearFailures();
  EXPECT_EQ(machine.ReadTextFile(path), std::optional<std::string>("$new"));
}

}  // namespace
}  // namespace qv
