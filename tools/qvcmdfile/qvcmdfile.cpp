// qvcmdfile: a command-line helper for people who edit the suite's command
// files ($keyword lines). It reads a file through the same command-file list
// the suite's programs use, so what it shows is what they see.
//
//   qvcmdfile expand FILE                  the file with its includes expanded
//   qvcmdfile vars FILE                    every variable definition in effect
//   qvcmdfile strip FILE INCLUDE [--encoding NAME]
//                                          split FILE into main part and include file
//   qvcmdfile pack FILE [--indented] [--minkey N]
//                                          the packed text
//
// Text goes to standard output in UTF-8, lines ending in CR LF. Exit code 0
// on success; 1 on failure, with the failure text on standard error.
//
// Windows builds work on the machine's files. The native build runs on the
// in-memory machine: it copies FILE and every include file it names (as
// found on this host, relative names against the current folder) into the
// machine, works there, and copies the files it wrote back.
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/memory/memory_machine.h"
#endif

#include "cmdfile/tfilebase.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "platform/text.h"
#include "settings/suite_settings.h"

namespace {

using qv::String;
using qv::StringView;
using qv::TFileBase;

constexpr const char* kUsage =
    "usage: qvcmdfile expand FILE\n"
    "       qvcmdfile vars FILE\n"
    "       qvcmdfile strip FILE INCLUDE [--encoding UTF8|ASCII|UTF16|Default]\n"
    "       qvcmdfile pack FILE [--indented] [--minkey N]\n";

struct Failure {
  String text;
};

void Out(StringView text) {
  const std::string utf8 = qv::ToUtf8(text);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

void Err(StringView text) {
  const std::string utf8 = qv::ToUtf8(text);
  std::fprintf(stderr, "%s\n", utf8.c_str());
}

String Reason(std::uint32_t code) {
  String text = qv::platform::Current().FormatSystemMessage(code);
  return text.empty() ? qv::Format(u"System error %u.", code) : text;
}

// Loads FILE as the suite's programs do (encoding from its byte-order mark,
// else the ANSI code page); comments are kept, so that writing it back
// loses nothing.
qv::TextEncoding Load(TFileBase& list, const String& path) {
  qv::TextEncoding used = qv::TextEncoding::Ansi;
  if (!qv::platform::Current().FileExists(path)) throw Failure{u"Cannot find file " + path};
  const std::uint32_t rc = list.LoadFromFile(path, std::nullopt, &used);
  if (rc != qv::platform::kOk) throw Failure{u"Cannot read file " + path + u" : " + Reason(rc)};
  return used;
}

void Expand(TFileBase& list) {
  try {
    list.ExpandInclude();
  } catch (const qv::CmdFileError& e) {
    throw Failure{e.message()};
  }
}

// ---------------------------------------------------------------- commands

int CmdExpand(const String& file) {
  TFileBase list;
  Load(list, file);
  Expand(list);
  Out(list.ToText());
  return 0;
}

int CmdVars(const String& file) {
  TFileBase list;
  Load(list, file);
  Expand(list);
  // Names in the order of their first definition; each shown with the value
  // in effect and the line (1-based, in the expanded text) that gives it.
  std::vector<String> names;
  for (int i = 0; i < list.Count(); ++i) {
    const qv::TokenList& tokens = list.GetSL(i);
    if (tokens.size() < 2 || !qv::EqualsNoCase(tokens[0], u"$var_def")) continue;
    const String name = qv::UnquoteToken(tokens[1]);
    if (name.empty()) continue;
    bool seen = false;
    for (const String& n : names) seen = seen || qv::EqualsNoCase(n, name);
    if (!seen) names.push_back(name);
  }
  for (const String& name : names) {
    const String value = list.GetVardef(name);
    int line = list.LastVardefIndex();
    if (line < 0) {  // the last definition has no value: it is still the one in effect
      for (int i = 0; i < list.Count(); ++i) {
        const qv::TokenList& tokens = list.GetSL(i);
        if (tokens.size() >= 2 && qv::EqualsNoCase(tokens[0], u"$var_def") &&
            qv::EqualsNoCase(qv::UnquoteToken(tokens[1]), name))
          line = i;
      }
    }
    // The name as the definition in effect spells it.
    const String shown = line >= 0 ? qv::UnquoteToken(list.GetSL(line)[1]) : name;
    Out(qv::Format(u"line %d: %s=%s\r\n", line + 1, shown, value));
  }
  return 0;
}

bool EncodingByName(StringView name, qv::TextEncoding& encoding) {
  if (qv::EqualsNoCaseAscii(name, u"UTF8")) encoding = qv::TextEncoding::Utf8;
  else if (qv::EqualsNoCaseAscii(name, u"ASCII")) encoding = qv::TextEncoding::Ascii;
  else if (qv::EqualsNoCaseAscii(name, u"UTF16") || qv::EqualsNoCaseAscii(name, u"Unicode"))
    encoding = qv::TextEncoding::Utf16LE;
  else if (qv::EqualsNoCaseAscii(name, u"Default")) encoding = qv::TextEncoding::Ansi;
  else return false;
  return true;
}

int CmdStrip(const String& file, const String& include, std::optional<qv::TextEncoding> encoding) {
  TFileBase list;
  const qv::TextEncoding mainEncoding = Load(list, file);
  Expand(list);
  list.SetIncludeFileName(include);
  list.StripInclude();
  if (!list.IncludeLines()) throw Failure{u"No per-recipient lines in " + file + u": nothing to split"};
  std::size_t replaced = 0;
  try {
    replaced = encoding ? list.WriteInclude(*encoding) : list.WriteInclude();
  } catch (const qv::CmdFileError& e) {
    throw Failure{e.message()};
  }
  // The main part is written only after the include file is safely written,
  // and in one step, so a failure never leaves half of the split behind.
  qv::Bytes bytes;
  std::uint32_t rc = list.SaveToBytes(mainEncoding, bytes);
  String full;
  if (qv::platform::Current().GetFullPathName(file, full) != qv::platform::kOk || full.empty()) full = file;
  if (rc == qv::platform::kOk) rc = qv::WriteFileReplacing(full, bytes);
  if (rc != qv::platform::kOk) throw Failure{u"Cannot write file " + file + u" : " + Reason(rc)};
  if (replaced > 0)
    Err(qv::Format(u"qvcmdfile: warning: %u characters of %s are outside 7-bit ASCII and were written as \"?\"",
                   static_cast<unsigned>(replaced), include));
  return 0;
}

int CmdPack(const String& file, bool indented, int minkey) {
  TFileBase list;
  Load(list, file);
  if (minkey > 0) list.SetMinKeySize(minkey);
  list.SetIndented(indented);  // packs
  Out(list.ToText());
  return 0;
}

String Arg(const char* arg) {
#ifdef _WIN32
  return qv::platform::Current().AnsiToWide(arg);  // the command line's code page
#else
  return qv::FromUtf8(arg);
#endif
}

int Run(const std::vector<String>& args) {
  if (args.size() < 2) throw Failure{String()};
  const String& command = args[0];
  const String& file = args[1];
  if (command == u"expand" && args.size() == 2) return CmdExpand(file);
  if (command == u"vars" && args.size() == 2) return CmdVars(file);
  if (command == u"strip" && (args.size() == 3 || args.size() == 5)) {
    std::optional<qv::TextEncoding> encoding;
    if (args.size() == 5) {
      qv::TextEncoding e{};
      if (args[3] != u"--encoding" || !EncodingByName(args[4], e)) throw Failure{String()};
      encoding = e;
    }
    return CmdStrip(file, args[2], encoding);
  }
  if (command == u"pack") {
    bool indented = false;
    int minkey = 0;
    for (std::size_t i = 2; i < args.size(); ++i) {
      std::int64_t n = 0;
      if (args[i] == u"--indented") indented = true;
      else if (args[i] == u"--minkey" && i + 1 < args.size() && qv::ParseInt64(args[i + 1], n) && n >= 0 && n < 1000)
        minkey = static_cast<int>(n), ++i;
      else throw Failure{String()};
    }
    return CmdPack(file, indented, minkey);
  }
  throw Failure{String()};
}

#ifndef _WIN32
// ---------------------------------------------------------------- native: host files

namespace fs = std::filesystem;

// The in-memory machine's C:\ stands for this host's root folder and its
// current folder for the host's, so names resolve alike on both.
String MachinePath(const fs::path& host) {
  String out = u"C:\\";
  for (const fs::path& part : fs::absolute(host).relative_path()) {
    if (out.size() > 3) out += u"\\";
    out += qv::FromUtf8(part.string());
  }
  return out;
}

std::optional<fs::path> HostPath(const String& machinePath) {
  if (machinePath.size() < 3 || qv::AsciiUpper(machinePath[0]) != u'C' || machinePath[1] != u':') return std::nullopt;
  std::string rest = qv::ToUtf8(StringView(machinePath).substr(2));
  for (char& c : rest)
    if (c == '\\') c = '/';
  return fs::path(rest);
}

bool CopyIn(qv::platform::MemoryMachine& machine, const fs::path& host, const String& machinePath) {
  std::ifstream in(host, std::ios::binary);
  if (!in) return false;
  const qv::Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  machine.MakeDirectories(machinePath.substr(0, machinePath.rfind(u'\\')));
  return machine.WriteBytes(machinePath, bytes);
}

// Copies FILE and every file its $include lines name, and theirs, into the
// machine. A name that is not a file on this host is left out, so the
// command reports it as the suite's programs would.
void StageFiles(qv::platform::MemoryMachine& machine, const String& file) {
  std::vector<String> pending{file};
  std::set<String> done;
  while (!pending.empty() && done.size() < 10000) {
    const String name = pending.back();
    pending.pop_back();
    String full;
    if (machine.GetFullPathName(name, full) != 0) continue;
    if (!done.insert(qv::Upper(full)).second) continue;
    const std::optional<fs::path> host = HostPath(full);
    std::error_code ec;
    if (!host || !fs::is_regular_file(*host, ec) || !CopyIn(machine, *host, full)) continue;
    TFileBase list;
    if (list.LoadFromFile(full) != 0) continue;
    for (int inst = 1;; ++inst) {
      if (list.GetToken(u"$include", inst, 0).empty()) break;
      const String included = list.GetSqToken(u"$include", inst, 1);
      if (!included.empty()) pending.push_back(included);
    }
  }
}

bool CopyOut(qv::platform::MemoryMachine& machine, const String& name) {
  String full;
  if (machine.GetFullPathName(name, full) != 0) return false;
  const std::optional<qv::Bytes> bytes = machine.ReadBytes(full);
  const std::optional<fs::path> host = HostPath(full);
  if (!bytes || !host) return false;
  const fs::path temporary = host->string() + ".qvcmdfile-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes->data()), static_cast<std::streamsize>(bytes->size()));
    if (!out) return false;
  }
  std::error_code ec;
  fs::rename(temporary, *host, ec);
  if (ec) fs::remove(temporary, ec);
  return !ec;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#else
  qv::platform::MemoryMachine machine;
  qv::platform::ScopedPlatform use(machine);
  machine.SetCurrentDirectory(MachinePath(fs::current_path()));
#endif
  std::vector<String> args;
  for (int i = 1; i < argc; ++i) args.push_back(Arg(argv[i]));
  try {
#ifndef _WIN32
    if (args.size() >= 2) StageFiles(machine, args[1]);
    if (args.size() >= 3 && args[0] == u"strip") {
      // The include file's folder, so that it can be written there.
      String full;
      if (machine.GetFullPathName(args[2], full) == 0) {
        const String folder = qv::ExtractFilePath(full);
        const std::optional<fs::path> host = HostPath(folder);
        std::error_code ec;
        if (host && fs::is_directory(*host, ec)) machine.MakeDirectories(folder);
      }
    }
#endif
    const int rc = Run(args);
#ifndef _WIN32
    if (args[0] == u"strip") {
      // Both files were written on the machine; now onto this host, the
      // include file first, as on Windows.
      if (!CopyOut(machine, args[2])) throw Failure{u"Cannot write file " + args[2]};
      if (!CopyOut(machine, args[1])) throw Failure{u"Cannot write file " + args[1]};
    }
#endif
    std::fflush(stdout);
    return rc;
  } catch (const Failure& f) {
    std::fflush(stdout);
    if (f.text.empty())
      std::fputs(kUsage, stderr);
    else
      Err(f.text);
    return 1;
  }
}
