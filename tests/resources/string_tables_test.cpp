// The string tables as the program code sees them (qv::resources), checked
// against texts written out here independently of the table sources, so a
// fault in the sources' escapes or in their translation shows up.
#include "resources/string_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using qv::String;
using qv::resources::ConnectTable;
using qv::resources::ConnectText;
using qv::resources::LibraryTable;
using qv::resources::LibraryText;
using qv::resources::StringEntry;

enum class Table { Connect, Library };

const String* Lookup(Table table, std::uint32_t id) {
  return table == Table::Connect ? ConnectText(id) : LibraryText(id);
}

std::span<const StringEntry> Entries(Table table) {
  return table == Table::Connect ? ConnectTable() : LibraryTable();
}

std::string Show(const String& s) {
  std::string out;
  for (char16_t c : s) {
    if (c == u'\r') {
      out += "\\r";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::size_t Count(const String& s, std::u16string_view what) {
  std::size_t n = 0;
  for (std::size_t pos = s.find(what); pos != String::npos; pos = s.find(what, pos + what.size())) ++n;
  return n;
}

// ---------------------------------------------------------------------------
// Which ids each table holds: exactly these, no more.

const std::vector<std::uint32_t> kConnectIds = {
    20190, 20191, 20192, 20193, 20195, 20196,
    20201, 20202, 20203, 20204, 20205, 20206, 20207, 20208, 20209, 20210, 20211, 20212, 20213, 20214,
    64912, 64913, 64914, 64915, 64917, 64919, 64920, 64921,
    64940, 64941, 64942, 64943,
};

const std::vector<std::uint32_t> kLibraryIds = {
    903, 904, 941, 943, 944, 945, 946, 947, 948, 949, 950,
    987, 990, 991, 992, 993, 995,
};

std::vector<std::uint32_t> IdsOf(Table table) {
  std::vector<std::uint32_t> ids;
  for (const StringEntry& e : Entries(table)) ids.push_back(e.id);
  return ids;
}

TEST(StringTables, ConnectTableHoldsExactlyItsIds) {
  EXPECT_EQ(IdsOf(Table::Connect), kConnectIds);
  for (std::uint32_t id : kConnectIds) EXPECT_NE(ConnectText(id), nullptr) << id;
}

TEST(StringTables, LibraryTableHoldsExactlyItsIds) {
  EXPECT_EQ(IdsOf(Table::Library), kLibraryIds);
  for (std::uint32_t id : kLibraryIds) EXPECT_NE(LibraryText(id), nullptr) << id;
}

struct Missing {
  Table table;
  std::uint32_t id;
};

TEST(StringTables, AbsentIdsGiveNull) {
  const Missing cases[] = {
      {Table::Connect, 0},     {Table::Connect, 20189}, {Table::Connect, 20194},
      {Table::Connect, 20197}, {Table::Connect, 20200}, {Table::Connect, 20215},
      {Table::Connect, 64916}, {Table::Connect, 64944},
      {Table::Connect, 903},   {Table::Connect, 65535}, {Table::Connect, 0xFFFFFFFFu},
      {Table::Library, 0},     {Table::Library, 902},   {Table::Library, 942},
      {Table::Library, 994},   {Table::Library, 996},   {Table::Library, 20190},
      {Table::Library, 64912},
  };
  for (const Missing& m : cases) {
    EXPECT_EQ(Lookup(m.table, m.id), nullptr) << (m.table == Table::Connect ? "connect " : "library ") << m.id;
  }
}

TEST(StringTables, LookupServesTheTableEntry) {
  for (Table table : {Table::Connect, Table::Library}) {
    std::uint32_t previous = 0;
    for (const StringEntry& e : Entries(table)) {
      EXPECT_GT(e.id, previous);
      previous = e.id;
      const String* text = Lookup(table, e.id);
      ASSERT_NE(text, nullptr) << e.id;
      EXPECT_EQ(*text, e.text) << e.id;
      EXPECT_FALSE(text->empty()) << e.id;
      EXPECT_EQ(Lookup(table, e.id), text) << "the same id must give the same string object";
    }
  }
}

// ---------------------------------------------------------------------------
// Exact texts, chosen for what a translation fault would break: carriage
// returns, quotation marks, single and double backslashes, a trailing blank,
// semicolons and brackets, placeholders and the non-ASCII "not" sign.

struct Exact {
  Table table;
  std::uint32_t id;
  std::u16string_view text;
};

const Exact kExact[] = {
    {Table::Connect, 20190, u"Velmora Configuration Error"},
    {Table::Connect, 20191, u"(This dialog will close after %d seconds; or when you click OK)"},
    {Table::Connect, 20192,
     u"Unable to find and load file QV9REG.DLL: this file should be in the same folder as the "
     u"executable program, or in your \\Program Files\\Norva folder (\\Program Files (x86)\\Norva "
     u"on 64-bit systems), or in any folder on your Windows Path."},
    {Table::Connect, 20195, u"20"},
    {Table::Connect, 20196, u"QV9REG.DLL interface version mismatch: expected %d, found %d"},
    {Table::Connect, 64912,
     u"The NORVACONNECT program must reside on a network\rshare which contains the TARVEX and "
     u"NETBIN folders.\rThe path in its shortcut (if used) must be a UNC pathname\r(starting with "
     u"\"\\\\\") and not a mapped drive starting with a\rdrive letter.\r\rActual path found: "
     u"%s\r\rThe connect operation failed."},
    {Table::Connect, 64914,
     u"The NORVACONNECT program cannot be run from %s which\ris a SUBST drive. To use this folder "
     u"you should delete the\rsubstitution using \"SUBST %s /d\" and create a network share\r"
     u"instead.\r\rThe connect operation failed."},
    {Table::Connect, 64917,
     u"The NORVA\\TARVEX folder does not contain the\rthe configuration file QTCFG.INI. The "
     u"connect\roperation failed."},
    {Table::Connect, 64920,
     u"The NORVACONNECT program must be run from a sharename\rof the form \\\\machinename\\NORVA, "
     u"not using the IP address\rof the machine: %s\\NORVACONNECT.exe.\rThe connect operation "
     u"failed."},
    {Table::Connect, 64921,
     u"The \"expected UNC pathname\" in the QTCFG.INI file does \rnot match the folder in which "
     u"QTCFG.INI resides. \r\r\"ExpectedUNCpath\" = %s\rActual path = %s\r\rIt is possible that "
     u"this folder could be accessible with \rmultiple sharenames or UNC paths, but Velmora must "
     u"\rensure that all machines address the folder using the \rsame UNC path. The connect "
     u"operation failed."},
    {Table::Connect, 64943,
     u"This program should normally be run from its UNC path,\rnot from %s.\r\rHowever %s appears "
     u"to be a 'NORVA' folder on the machine named\r%s\r\rDo you wish to connect to this Norva "
     u"Application Data\rfolder on that machine?  If you answer no, the program\rwill exit, and "
     u"you should run NORVACONNECT from the\rcorrect UNC path."},
    {Table::Library, 943,
     u"There is no valid file NORVA\\NORVACONNECT.INI in Windows common application data folder.  "
     u"This file should have been created from NORVAINSTALL."},
    {Table::Library, 944, u"Missing '[NorvaAppdataShare] UNCname' entry in NORVACONNECT.INI"},
    {Table::Library, 945,
     u"[NorvaAppdataShare] UNCname in NORVACONNECT.INI is not 'UNC' (does not start with '\\\\'), "
     u"and the configuration has not been specified as an 'island'"},
    {Table::Library, 987,
     u"If you have moved the Norva Application Data Area (NORVA share),<BR>run NORVAINSTALL on the "
     u"new file server and reselect the NORVA<BR>share, then run the \\NORVA\\NORVACONNECT.exe "
     u"that is on the new<BR>share, from each other machine in turn.\u00AC<BR><BR>See <A "
     u"HREF=\"https://support.velmora.example/qv9reg/system-backup\">this help link</A>"},
    {Table::Library, 990, u"Velmora Configuration Error"},
    {Table::Library, 991, u"(This dialog will close after %d seconds; or when you click OK)"},
    {Table::Library, 992, u"Expected UNC path (from QTCFG.INI): "},
    {Table::Library, 993, u"Located UNC path (from NORVACONNECT.INI): "},
    {Table::Library, 995, u"20"},
};

TEST(StringTables, ExactTexts) {
  for (const Exact& x : kExact) {
    const String* text = Lookup(x.table, x.id);
    ASSERT_NE(text, nullptr) << x.id;
    EXPECT_EQ(*text, x.text) << x.id << "\n  actual:   " << Show(*text)
                             << "\n  expected: " << Show(String(x.text));
  }
}

// ---------------------------------------------------------------------------
// Properties every text must have.

struct Placeholders {
  Table table;
  std::uint32_t id;
  std::size_t strings;  // %s
  std::size_t numbers;  // %d
};

// How many values each formatting caller passes; every other text takes none.
const Placeholders kPlaceholders[] = {
    {Table::Connect, 20191, 0, 1}, {Table::Connect, 20196, 0, 2}, {Table::Connect, 64912, 1, 0},
    {Table::Connect, 64913, 1, 0}, {Table::Connect, 64914, 2, 0}, {Table::Connect, 64920, 1, 0},
    {Table::Connect, 64921, 2, 0}, {Table::Connect, 64940, 2, 0}, {Table::Connect, 64941, 3, 0},
    {Table::Connect, 64942, 3, 0}, {Table::Connect, 64943, 3, 0}, {Table::Library, 991, 0, 1},
};

TEST(StringTables, PlaceholdersMatchTheirFormattingCalls) {
  for (Table table : {Table::Connect, Table::Library}) {
    for (const StringEntry& e : Entries(table)) {
      std::size_t strings = 0, numbers = 0;
      for (const Placeholders& p : kPlaceholders) {
        if (p.table == table && p.id == e.id) {
          strings = p.strings;
          numbers = p.numbers;
        }
      }
      const String text(e.text);
      EXPECT_EQ(Count(text, u"%s"), strings) << e.id;
      EXPECT_EQ(Count(text, u"%d"), numbers) << e.id;
      EXPECT_EQ(Count(text, u"%"), strings + numbers) << e.id << ": stray %";
    }
  }
}

TEST(StringTables, NoEscapeSurvivesAsText) {
  // A backslash followed by an escape letter means an escape was copied
  // instead of translated; no message has that sequence. (A backslash before
  // a quotation mark is genuine text in 64912: (starting with "\\").)
  const std::u16string_view leftovers[] = {u"\\r", u"\\n", u"\\t", u"\\u"};
  for (Table table : {Table::Connect, Table::Library}) {
    for (const StringEntry& e : Entries(table)) {
      for (std::u16string_view bad : leftovers) {
        EXPECT_EQ(e.text.find(bad), std::u16string_view::npos) << e.id << " holds " << Show(String(bad));
      }
    }
  }
}

TEST(StringTables, ConnectDialogTextsBreakLinesWithCarriageReturnsOnly) {
  for (const StringEntry& e : ConnectTable()) {
    if (e.id < 64912) continue;
    EXPECT_NE(e.text.find(u'\r'), std::u16string_view::npos) << e.id;
    EXPECT_EQ(e.text.find(u'\n'), std::u16string_view::npos) << e.id;
  }
}

TEST(StringTables, OnlyTheAdviceTextIsNotPlainAscii) {
  for (Table table : {Table::Connect, Table::Library}) {
    for (const StringEntry& e : Entries(table)) {
      const bool ascii = std::all_of(e.text.begin(), e.text.end(), [](char16_t c) { return c < 0x7F; });
      EXPECT_EQ(ascii, !(table == Table::Library && e.id == 987)) << e.id;
    }
  }
}

TEST(StringTables, AdviceTextCutsOnceBeforeTheLink) {
  const String* text = LibraryText(987);
  ASSERT_NE(text, nullptr);
  ASSERT_EQ(Count(*text, u"\u00AC"), 1u);
  const std::size_t cut = text->find(u'\u00AC');
  const String plain = text->substr(0, cut);
  const String html = text->substr(cut + 1);
  EXPECT_TRUE(plain.ends_with(u"from each other machine in turn.")) << Show(plain);
  EXPECT_EQ(plain.find(u"<A"), String::npos);
  EXPECT_TRUE(html.starts_with(u"<BR><BR>See <A HREF=\"https://")) << Show(html);
  EXPECT_TRUE(html.ends_with(u"\">this help link</A>")) << Show(html);
}

TEST(StringTables, DialogDelaysReadAsTwentySeconds) {
  ASSERT_NE(ConnectText(20195), nullptr);
  ASSERT_NE(LibraryText(995), nullptr);
  std::int64_t v = 0;
  ASSERT_TRUE(qv::ParseInt64(*ConnectText(20195), v));
  EXPECT_EQ(v, 20);
  ASSERT_TRUE(qv::ParseInt64(*LibraryText(995), v));
  EXPECT_EQ(v, 20);
}

}  // namespace
