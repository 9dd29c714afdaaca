// The keyword index of TFileBase: lookups through it answer exactly as the
// scans do (token, LastIndex, LastVardefIndex and the lookup cache), any
// change of lines drops it, and a lookup examines only its keyword's lines.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "cmdfile/tfilebase.h"

namespace qv {
namespace {

const char16_t kText[] =
    u"; header comment\r\n"
    u"$Unicode AllCommandFiles UTF8\r\n"
    u"$image_type TIF\r\n"
    u"$var_def SITE \"Head office\"\r\n"
    u"\r\n"
    u"$type PDF ; trailing\r\n"
    u"$unicode USRfile\r\n"
    u"$image_locn \\\\SRV\\IMG\\ top\r\n"
    u"$var_def site \"Branch\"\r\n"
    u"$UNICODE GCTfile Unicode /* inline */\r\n"
    u"$script_locn \\\\SRV\\SCR\\\r\n"
    u"$var_def EMPTY\r\n"
    u"$var_def\r\n"
    u"$var_def GONE last\r\n"
    u"$var_def gone\r\n"
    u"/* block comment */\r\n"
    u"$var_def \"Quoted Name\" \"a \"\"b\"\"\"\r\n"
    u"$unicode JobStdRept ASCII\r\n";

struct Lookup {
  const char16_t* keyword;
  int inst, token;
};

// Instance loops, repeats, resumes, misses (a missing instance, a missing
// token) followed by the next instance, aliases both ways, comment lines,
// letter case, and instance numbers out of range.
const Lookup kLookups[] = {
    {u"$unicode", 1, 0},     {u"$unicode", 1, 2},   {u"$unicode", 2, 1},  {u"$unicode", 2, 2},
    {u"$unicode", 3, 2},     {u"$unicode", 4, 1},   {u"$unicode", 5, 0},  {u"$unicode", 3, 1},
    {u"$UNICODE", 4, 0},     {u"$unicode", 2, 9},   {u"$unicode", 3, 0},  {u"$type", 1, 1},
    {u"$type", 2, 1},        {u"$image_type", 2, 2}, {u"$image_type", 1, 1}, {u"$type", 3, 0},
    {u"$script_locn", 1, 2}, {u"$image_locn", 2, 1}, {u"$SCRIPT_LOCN", 2, 1}, {u";", 1, 0},
    {u";", 2, 0},            {u";", 3, 0},          {u";", 4, 0},         {u";", 5, 0},
    {u" ", 1, 0},            {u"$var_def", 3, 1},   {u"$var_def", 4, 1},  {u"$var_def", 0, 0},
    {u"$var_def", -1, 0},    {u"$unicode", 1, -1},  {u"$missing", 1, 0},  {u"$unicode", 1, 0},
    {u"$unicode", 1, 0},     {u"", 1, 0},           {u"$var_def", 7, 2},  {u"$var_def", 8, 0},
};

const char16_t* const kNames[] = {u"SITE", u"site", u"Empty", u"gone", u"Quoted name", u"missing", u"", u"$var_def"};

// Runs every lookup and variable on a scanning list and an indexed one read
// from the same text.
void ExpectSameAnswers(TFileBase& scanning, TFileBase& indexed) {
  for (const Lookup& l : kLookups) {
    SCOPED_TRACE(ToUtf8(l.keyword) + " " + std::to_string(l.inst) + " " + std::to_string(l.token));
    EXPECT_EQ(indexed.GetToken(l.keyword, l.inst, l.token), scanning.GetToken(l.keyword, l.inst, l.token));
    EXPECT_EQ(indexed.LastIndex(), scanning.LastIndex());
    EXPECT_EQ(indexed.GetSqToken(l.keyword, l.inst, l.token), scanning.GetSqToken(l.keyword, l.inst, l.token));
    EXPECT_EQ(indexed.GetRestOfLine(l.keyword, l.inst), scanning.GetRestOfLine(l.keyword, l.inst));
    EXPECT_EQ(indexed.LastIndex(), scanning.LastIndex());
    // FindToken is GetToken without the copy: no token where GetToken
    // answers empty, and the lookup cache moves the same way.
    const String expected = scanning.GetToken(l.keyword, l.inst, l.token);
    for (TFileBase* list : {&scanning, &indexed}) {
      const String* found = list->FindToken(l.keyword, l.inst, l.token);
      EXPECT_EQ(found != nullptr, !expected.empty());
      if (found) {
        EXPECT_EQ(*found, expected);
      }
    }
    EXPECT_EQ(indexed.LastIndex(), scanning.LastIndex());
  }
  for (const char16_t* name : kNames) {
    SCOPED_TRACE(ToUtf8(name));
    EXPECT_EQ(indexed.GetVardef(name), scanning.GetVardef(name));
    EXPECT_EQ(indexed.LastVardefIndex(), scanning.LastVardefIndex());
  }
}

TEST(TFileBaseKeywordIndex, AnswersAsTheScansDo) {
  for (const bool discard : {false, true}) {
    SCOPED_TRACE(discard ? "comments discarded" : "comments kept");
    TFileBase scanning, indexed;
    scanning.SetDiscardcomments(discard);
    indexed.SetDiscardcomments(discard);
    scanning.LoadFromString(kText);
    indexed.LoadFromString(kText);
    indexed.IndexKeywords();
    ExpectSameAnswers(scanning, indexed);
    EXPECT_TRUE(indexed.KeywordsIndexed());  // lookups change no line
    // A second round starts from the cache state the first one left.
    ExpectSameAnswers(scanning, indexed);
  }
  // The values themselves, for the record.
  TFileBase list;
  list.LoadFromString(kText);
  list.IndexKeywords();
  EXPECT_EQ(list.GetVardef(u"site"), u"Branch");
  EXPECT_EQ(list.LastVardefIndex(), 8);
  EXPECT_EQ(list.GetVardef(u"GONE"), u"");
  EXPECT_EQ(list.LastVardefIndex(), -1);
  EXPECT_EQ(list.GetVardef(u"quoted NAME"), u"a \"b\"");
  EXPECT_EQ(list.GetToken(u"$image_type", 2, 1), u"PDF");
  EXPECT_EQ(list.LastIndex(), 5);
}

// KeywordLines gives, in order, the lines that GetToken finds instance 1,
// 2, 3 ... of a keyword on (aliases and comment lines included).
TEST(TFileBaseKeywordIndex, KeywordLinesAreTheInstancesGetTokenFinds) {
  const char16_t* const keywords[] = {u"$unicode", u"$UNICODE", u"$type",    u"$image_type", u"$script_locn",
                                      u"$image_locn", u";",     u"$var_def", u"$missing",    u""};
  for (const bool discard : {false, true}) {
    SCOPED_TRACE(discard ? "comments discarded" : "comments kept");
    for (const char16_t* keyword : keywords) {
      SCOPED_TRACE(ToUtf8(keyword));
      TFileBase scanning, indexed;
      scanning.SetDiscardcomments(discard);
      indexed.SetDiscardcomments(discard);
      scanning.LoadFromString(kText);
      indexed.LoadFromString(kText);
      std::vector<int> found;
      for (int inst = 1; inst < 100 && !scanning.GetToken(keyword, inst, 0).empty(); ++inst)
        found.push_back(scanning.LastIndex());
      EXPECT_EQ(indexed.KeywordLines(keyword), found);  // indexes the list itself
      EXPECT_TRUE(indexed.KeywordsIndexed());
    }
  }
}

TEST(TFileBaseKeywordIndex, EveryChangeOfLinesDropsIt) {
  struct Change {
    const char* name;
    std::function<void(TFileBase&)> apply;
  };
  const std::vector<Change> changes = {
      {"Add", [](TFileBase& l) { l.Add(u"$unicode Active UTF8"); }},
      {"Insert", [](TFileBase& l) { l.Insert(1, u"$unicode All UTF8"); }},
      {"PutText", [](TFileBase& l) { l.PutText(1, u"$var_def SITE moved"); }},
      {"PutObject", [](TFileBase& l) { l.PutObject(3, TokenList{u"$unicode", u"x"}); }},
      {"PutObject none", [](TFileBase& l) { l.PutObject(1, std::nullopt); }},
      {"Delete", [](TFileBase& l) { l.Delete(1); }},
      {"Exchange", [](TFileBase& l) { l.Exchange(1, 3); }},
      {"SetToken 0", [](TFileBase& l) { l.SetToken(6, 0, u"$var_def"); }},
      {"SetToken 2", [](TFileBase& l) { l.SetToken(8, 2, u"\"Renamed\""); }},
      {"AddStrings", [](TFileBase& l) { l.AddStrings({u"$var_def SITE appended"}); }},
      {"AddBase", [](TFileBase& l) { l.AddBase(l); }},
      {"LoadFromString", [](TFileBase& l) { l.LoadFromString(u"$unicode Active UTF8\r\n$var_def SITE new\r\n"); }},
      {"StripVarDefs", [](TFileBase& l) { l.StripVarDefs(u"site"); }},
      {"ReplaceAll", [](TFileBase& l) { l.ReplaceAll(u"$unicode", u"$unicode All ASCII"); }},
  };
  for (const Change& c : changes) {
    SCOPED_TRACE(c.name);
    TFileBase scanning, indexed;
    scanning.LoadFromString(kText);
    indexed.LoadFromString(kText);
    indexed.IndexKeywords();
    indexed.GetVardef(u"SITE");  // the variable map built before the change
    c.apply(scanning);
    c.apply(indexed);
    EXPECT_FALSE(indexed.KeywordsIndexed());
    ExpectSameAnswers(scanning, indexed);
  }
  // Rebuilding texts keeps the lines, and the index with them.
  TFileBase list;
  list.LoadFromString(kText);
  list.IndexKeywords();
  list.SetIndented(true);
  list.SetMinKeySize(12);
  EXPECT_TRUE(list.KeywordsIndexed());
  EXPECT_EQ(list.GetToken(u"$unicode", 4, 1), u"JobStdRept");
}

TEST(TFileBaseKeywordIndex, LookupsExamineOnlyTheirKeywordsLines) {
  // 20000 lines, 20 of them $k and 20 $var_def: once indexed, reading
  // every instance (ending on a missing token, which empties the cache)
  // and 100 variable lookups examine those lines, not the file again.
  constexpr int kLines = 20000;
  std::vector<String> lines;
  for (int i = 0; i < kLines; ++i) {
    if (i % 1000 == 0)
      lines.push_back(u"$k " + ToString(i));
    else if (i % 1000 == 500)
      lines.push_back(u"$var_def V" + ToString(i / 1000) + u" " + ToString(i));
    else
      lines.push_back(u"$other " + ToString(i));
  }
  TFileBase list;
  list.AddStrings(lines);
  list.IndexKeywords();
  EXPECT_EQ(list.LookupLinesExamined(), static_cast<std::uint64_t>(kLines));
  int seen = 0;
  for (int inst = 1; !list.GetToken(u"$k", inst, 0).empty(); ++inst) {
    ASSERT_EQ(list.GetToken(u"$k", inst, 1), ToString((inst - 1) * 1000));
    EXPECT_EQ(list.GetToken(u"$k", inst, 2), u"");  // missing: the cache is emptied
    ++seen;
  }
  EXPECT_EQ(seen, 20);
  for (int round = 0; round < 5; ++round)
    for (int v = 0; v < 20; ++v) ASSERT_EQ(list.GetVardef(u"v" + ToString(v)), ToString(v * 1000 + 500));
  EXPECT_LE(list.LookupLinesExamined() - kLines, 3u * 20 + 20 + 100);

  // Without the index each variable lookup reads the whole list.
  TFileBase scanning;
  scanning.AddStrings(lines);
  scanning.GetVardef(u"V3");
  EXPECT_EQ(scanning.LookupLinesExamined(), static_cast<std::uint64_t>(kLines));
}

}  // namespace
}  // namespace qv
