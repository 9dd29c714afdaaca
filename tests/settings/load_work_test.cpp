// The work of a load grows with the file, not with its square: a file of
// 20000 lines of one repeated directive is interpreted with a few lookups'
// worth of lines examined per line. And the one-pass setting of many
// name=value pairs gives what setting them one by one gives.
#include <functional>

#include "settings/config_reader.h"
#include "settings_fixture.h"

namespace qv::testing_settings {
namespace {

class LoadWorkTest : public SettingsTest {};

TEST_F(LoadWorkTest, ManyLinesOfOneDirectiveTakeLinearWork) {
  constexpr int kLines = 20000;
  struct Case {
    const char* name;
    // Line i of the file; some lines lack their last word, so that a
    // lookup misses and empties the lookup cache.
    std::function<String(int)> line;
    std::function<void(const SuiteSettings&)> check;
  };
  const std::vector<Case> cases = {
      {"$var_def", [](int i) { return u"$var_def NAME" + ToString(i % 15000) + (i % 7 ? u" value" + ToString(i) : u""); },
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.VarDefNames.size(), static_cast<std::size_t>(kLines));
         // Names 0..4999 twice: the later line wins, or removes the pair.
         EXPECT_EQ(s.VarDefPairs.Value(u"name16"), u"value15016");
         EXPECT_FALSE(s.VarDefPairs.Contains(u"NAME15"));
         EXPECT_EQ(s.VarDefPairs.Value(u"NAME7"), u"value15007");
         EXPECT_EQ(s.VarDefPairs.Value(u"NAME5003"), u"value5003");
         EXPECT_FALSE(s.VarDefPairs.Contains(u"NAME5005"));
         EXPECT_EQ(s.VarDefPairs.Size(), 12857u);  // lines 5000..19999 hold the last of each name; 2143 of them are empty
       }},
      {"$environment",
       [](int i) { return u"$environment * OPTION" + ToString(i) + (i % 5 ? u" " + ToString(i) : u""); },
       [](const SuiteSettings& s) {
         // 999 lines are read; those without a value set none.
         EXPECT_EQ(s.EnvironmentOptions.Value(u"option998"), u"998");
         EXPECT_FALSE(s.EnvironmentOptions.Contains(u"OPTION995"));
         EXPECT_FALSE(s.EnvironmentOptions.Contains(u"OPTION999"));
       }},
      {"$email_security", [](int i) { return String(i % 2 ? u"$email_security dkim" : u"$email_security smimesign"); },
       [](const SuiteSettings& s) { EXPECT_EQ(s.EmailSecurity & (kEmailDkim | kEmailSmimeSign), kEmailDkim | kEmailSmimeSign); }},
      {"$colorframe",
       [](int i) { return u"$colorframe C" + ToString(i % 600) + u" #" + ToString(i) + (i % 3 ? u"" : u" all"); },
       [](const SuiteSettings& s) {
         EXPECT_EQ(s.ColorFrames.size(), 999u);  // 999 lines read, each entry different
         ASSERT_FALSE(s.ColorFrames.empty());
         EXPECT_EQ(s.ColorFrames.front(), (TaggedText{u"C0=#0", 1}));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    String text;
    for (int i = 0; i < kLines; ++i) text += c.line(i) + u"\r\n";
    TFileBase list;
    list.SetDiscardcomments(true);
    list.LoadFromString(text);
    SuiteSettings s;
    {
      settings::ExclusiveLoad lock;
      settings::ConfigLines lines(list);
      settings::InterpretDirectives(s, lines);
    }
    c.check(s);
    // Indexing reads each line once; then every lookup examines a line of
    // its own keyword, at most a few per line of the file.
    EXPECT_LE(list.LookupLinesExamined(), 5u * kLines);
  }
}

TEST(NameValueListSetValues, GivesWhatOneByOneGives) {
  using Entry = NameValueList::Entry;
  struct Case {
    const char* name;
    std::vector<Entry> start;  // added as they are, duplicates included
    std::vector<Entry> pairs;
  };
  const std::vector<Case> cases = {
      {"new names append in order", {}, {{u"A", u"1"}, {u"B", u"2"}, {u"a", u"3"}}},
      {"the first holder of a name is set", {{u"X", u"0"}, {u"x", u"dup"}}, {{u"X", u"1"}, {u"Y", u"2"}}},
      {"empty removes the first holder, then the next", {{u"X", u"0"}, {u"x", u"dup"}, {u"Z", u"z"}},
       {{u"x", u""}, {u"X", u"again"}, {u"X", u""}, {u"x", u""}, {u"X", u"new"}}},
      {"removing a missing name does nothing", {{u"A", u"1"}}, {{u"B", u""}, {u"a", u"2"}}},
      {"letter case beyond ASCII", {{u"\u00e9t\u00e9", u"1"}}, {{u"\u00c9T\u00c9", u"2"}, {u"\u00e9T\u00e9", u""}}},
      {"no pairs", {{u"A", u"1"}}, {}},
      {"a new name removed, added again, then set",
       {{u"K", u"0"}},
       {{u"A", u"1"}, {u"a", u""}, {u"A", u"2"}, {u"B", u"x"}, {u"a", u"3"}, {u"k", u""}, {u"K", u"back"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NameValueList oneByOne, batch;
    for (const Entry& e : c.start) {
      oneByOne.Add(e.name, e.value);
      batch.Add(e.name, e.value);
    }
    for (const Entry& p : c.pairs) oneByOne.SetValue(p.name, p.value);
    std::vector<NameValueList::Pair> views;
    for (const Entry& p : c.pairs) views.push_back({p.name, p.value});
    batch.SetValues(views);
    ASSERT_EQ(batch.Size(), oneByOne.Size());
    for (std::size_t i = 0; i < batch.Size(); ++i) EXPECT_EQ(batch.Text(i), oneByOne.Text(i));
  }
}

}  // namespace
}  // namespace qv::testing_settings
