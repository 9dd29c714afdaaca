// Command-file includes through a \\SERVER\SHARE path with the real Win32
// API (run under Wine): ExpandInclude reads include files named by UNC
// paths, WriteInclude writes one there in every encoding.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cmdfile/tfilebase.h"
#include "tests/cmdfile/cmdfile_failure.h"
#include "platform/seam.h"

using namespace qv;

namespace {

platform::Platform& OS() { return platform::Current(); }

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::vector<std::string> Texts(const TFileBase& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(ToUtf8(list.Text(i)));
  return out;
}

using testing_cmdfile::FailureOf;

// A folder of its own on the test share, removed with its files afterwards.
class ShareFolder {
 public:
  explicit ShareFolder(const String& root)
      : path_(Format(u"%s\\CmdFile%u", root, static_cast<unsigned>(GetCurrentProcessId()))) {
    EXPECT_EQ(OS().CreateDirectory(path_), 0u) << ToUtf8(path_);
  }
  ~ShareFolder() {
    for (const String& f : files_) OS().DeleteFile(f);
    OS().RemoveDirectory(path_);
  }
  String File(const char16_t* name) {
    files_.push_back(path_ + u"\\" + name);
    return files_.back();
  }

 private:
  String path_;
  std::vector<String> files_;
};

TEST(Win32CmdFileUnc, ExpandAndWriteIncludesThroughAShare) {
  const char* root = std::getenv("QV_TEST_UNC_ROOT");
  if (!root) GTEST_SKIP() << "QV_TEST_UNC_ROOT is not set (scripts/wine-run.sh sets it)";
  ShareFolder share(FromUtf8(root));
  const String a = share.File(u"A.INC");
  const String b = share.File(u"B.INC");
  const String self = share.File(u"SELF.INC");
  const String out = share.File(u"OUT.INC");

  // A (UTF-8) includes B (UTF-16) by its UNC name.
  ASSERT_EQ(OS().WriteWholeFile(a, B("\xEF\xBB\xBF$fax_phone 555\r\n$include \"" + ToUtf8(b) + "\"\r\n")), 0u);
  Bytes utf16{0xFF, 0xFE};
  for (char16_t c : String(u"$email_subject Caf\u00E9\r\n$var_def MEMO_1 x\r\n")) {
    utf16.push_back(static_cast<std::uint8_t>(c & 0xFF));
    utf16.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  ASSERT_EQ(OS().WriteWholeFile(b, utf16), 0u);

  TFileBase list;
  list.Add(u"$fs_template cover");
  list.Add(u"$include " + a);
  list.Add(u"$send");
  list.ExpandInclude();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"$fs_template cover", "$fax_phone 555", "$email_subject Café",
                                                   "$var_def MEMO_1 x", "$send"}));
  EXPECT_EQ(list.IncludeFileName(), b);

  // The failures name the UNC path.
  TFileBase missing;
  missing.Add(u"$include " + share.File(u"NONE.INC"));
  EXPECT_EQ(FailureOf([&] { missing.ExpandInclude(); }), "Cannot find include file " + ToUtf8(share.File(u"NONE.INC")));
  ASSERT_EQ(OS().WriteWholeFile(self, B("$x\r\n$include " + ToUtf8(self) + "\r\n")), 0u);
  TFileBase cycle;
  cycle.Add(u"$include " + self);
  EXPECT_EQ(FailureOf([&] { cycle.ExpandInclude(); }),
            "Include file " + ToUtf8(self) + " includes itself: " + ToUtf8(self) + " -> " + ToUtf8(self));

  // Split into the share and read back byte for byte in every encoding.
  const std::string inc = "$fax_phone 555\r\n$email_subject Caf\xC3\xA9\r\n$var_def MEMO_1 x\r\n";
  struct Case {
    const char* name;
    TextEncoding encoding;
    Bytes bytes;
    std::size_t replaced;
  };
  const Case cases[] = {
      {"UTF-8", TextEncoding::Utf8, B("\xEF\xBB\xBF" + inc), 0},
      {"ANSI", TextEncoding::Ansi, B("$fax_phone 555\r\n$email_subject Caf\xE9\r\n$var_def MEMO_1 x\r\n"), 0},
      {"ASCII", TextEncoding::Ascii, B("$fax_phone 555\r\n$email_subject Caf?\r\n$var_def MEMO_1 x\r\n"), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TFileBase job;
    for (const std::string& l : Texts(list)) job.Add(FromUtf8(l));
    job.SetIncludeFileName(out);
    job.StripInclude();
    EXPECT_EQ(job.WriteInclude(c.encoding), c.replaced);
    Bytes written;
    ASSERT_EQ(OS().ReadWholeFile(out, written), 0u);
    EXPECT_EQ(written, c.bytes);
    job.RestoreInclude();  // the recipient lines come back where the $include line stood
    EXPECT_EQ(Texts(job), (std::vector<std::string>{"$fax_phone 555", "$email_subject Café", "$var_def MEMO_1 x",
                                                    "$fs_template cover", "$send"}));
  }
  TFileBase wide;
  wide.Add(u"$email_subject Caf\u00E9");
  wide.SetIncludeFileName(out);
  wide.StripInclude();
  wide.WriteInclude(TextEncoding::Utf16LE);
  Bytes written;
  ASSERT_EQ(OS().ReadWholeFile(out, written), 0u);
  Bytes expected{0xFF, 0xFE};
  for (char16_t c : String(u"$email_subject Caf\u00E9\r\n")) {
    expected.push_back(static_cast<std::uint8_t>(c & 0xFF));
    expected.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  EXPECT_EQ(written, expected);

  // A folder that is not there: the failure names the file and the reason.
  const String nowhere = FromUtf8(root) + u"\\NoSuchFolder\\R.INC";
  wide.SetIncludeFileName(nowhere);
  const std::string failure = FailureOf([&] { wide.WriteInclude(TextEncoding::Utf8); });
  EXPECT_EQ(failure.rfind("Cannot write file " + ToUtf8(nowhere) + " : ", 0), 0u) << failure;
  EXPECT_GT(failure.size(), ("Cannot write file " + ToUtf8(nowhere) + " : ").size()) << failure;
}

}  // namespace
