// The $ directives of TARVEX.CFG, interpreted in their fixed order.
#include <algorithm>
#include <cstdlib>

#include "platform/seam.h"
#include "settings/config_reader.h"

namespace qv::settings {

namespace {

// ---------------------------------------------------------------- helpers

// Splits at every comma (blanks do not split).
std::vector<String> SplitCommas(StringView text) {
  std::vector<String> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(u',', start);
    items.emplace_back(text.substr(start, comma == StringView::npos ? StringView::npos : comma - start));
    if (comma == StringView::npos) break;
    start = comma + 1;
  }
  return items;
}

// A value read as a hexadecimal number without its own "$".
std::int32_t ParseHex(StringView digits, std::int32_t fallback) {
  String text(1, u'$');
  text.append(digits);
  return ParseNumber(text, fallback);
}

// Hours read as a signed number (default -1) turned into unsigned seconds:
// 0 means "no limit" (all bits set); other values wrap modulo 2^32.
std::uint32_t QueueLimitSeconds(StringView word) {
  const std::int32_t hours = ParseNumber(word, -1);
  if (hours == 0) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(hours) * 3600u;
}

// A folder directive's word 1: base macro, trailing delimiter, upper case,
// and the drive mapping when the line comes after $map_drive.
bool FolderValue(SuiteSettings& s, ConfigLines& lines, StringView keyword, String& out) {
  String value = ExpandBaseMacro(s, lines.Word(keyword, 1, 1));
  if (value.empty()) return false;
  value = Upper(WithTrailingBackslash(value));
  if (lines.LineIndex(keyword, 1) > s.DriveMapLine) value = ApplyDriveMapping(s, value);
  out = value;
  return true;
}

void FolderDirective(SuiteSettings& s, ConfigLines& lines, StringView keyword, String& field) {
  FolderValue(s, lines, keyword, field);
}

// ---------------------------------------------------------------- $map_drive

void MapDrive(SuiteSettings& s, ConfigLines& lines) {
  s.DriveMapLine = 9999;
  s.DriveMapCount = 0;
  const int index = lines.LineIndex(u"$map_drive", 1);
  if (index < 0) return;
  s.DriveMapLine = index;
  for (int k = 1; k <= 5; ++k) {
    const String pair = Upper(lines.Text(u"$map_drive", 1, k));
    if (pair.size() != 2) continue;
    const char16_t from = pair[0], to = pair[1];
    if (from < u'A' || from > u'Z' || to < u'A' || to > u'Z' || from == to) continue;
    s.DriveMapFrom[static_cast<std::size_t>(s.DriveMapCount)] = from;
    s.DriveMapTo[static_cast<std::size_t>(s.DriveMapCount)] = to;
    ++s.DriveMapCount;
  }
}

// ---------------------------------------------------------------- $unicode

void SetEncoding(FileEncodingTable& table, FileKind kind, StringView name, bool utf16AsUtf8) {
  if (EqualsNoCase(name, u"UTF8"))
    table[kind] = FileEncoding::Utf8;
  else if (EqualsNoCase(name, u"ASCII"))
    table[kind] = FileEncoding::Ascii;
  else if (EqualsNoCase(name, u"Unicode") || EqualsNoCase(name, u"UTF16"))
    table[kind] = utf16AsUtf8 ? FileEncoding::Utf8 : FileEncoding::Utf16LE;
  else if (EqualsNoCase(name, u"Default"))
    table[kind] = FileEncoding::Ansi;
}

void Unicode(SuiteSettings& s, ConfigLines& lines) {
  using K = FileKind;
  static const std::vector<K> kCommand = {K::ConfigFile, K::UserProfile, K::Iif, K::Gct, K::Fs, K::Mbx, K::Mcf};
  static const std::vector<K> kEmail = {K::EmailBody, K::EmailHtmlBody, K::EmailRecipList};
  static const std::vector<K> kJob = {K::JobHistory, K::JobStdRept, K::JobExtract, K::JobFieldList};
  struct Kind {
    StringView word;
    std::vector<K> slots;
  };
  static const std::vector<Kind> kKinds = [] {
    std::vector<Kind> kinds = {
        {u"Active", {K::Active}},           {u"CFGfile", {K::ConfigFile}},
        {u"USRfile", {K::UserProfile}},     {u"UJPfile", {K::UserProfile}},
        {u"IIFfile", {K::Iif}},             {u"GCTfile", {K::Gct}},
        {u"FSfile", {K::Fs}},               {u"MBXfile", {K::Mbx}},
        {u"MCFfile", {K::Mcf}},             {u"AllCommandFiles", kCommand},
        {u"EMailBody", {K::EmailBody}},     {u"EMailHTMLBody", {K::EmailHtmlBody}},
        {u"EMailRecipList", {K::EmailRecipList}}, {u"AllEmailFiles", kEmail},
        {u"JobHistory", {K::JobHistory}},   {u"JobStdRept", {K::JobStdRept}},
        {u"JobExtract", {K::JobExtract}},   {u"JobFieldList", {K::JobFieldList}},
        {u"AllJobFiles", kJob},
    };
    std::vector<K> all = kCommand;
    all.insert(all.end(), kJob.begin(), kJob.end());
    all.insert(all.end(), kEmail.begin(), kEmail.end());
    all.push_back(K::Extra);
    all.push_back(K::Active);
    kinds.push_back({u"All", all});
    // Tracefile, JobControl and JobSummary are accepted and set nothing.
    return kinds;
  }();

  s.FileEncodings.Reset();
  const std::vector<const TokenList*> instances = lines.Instances(u"$unicode");
  const std::size_t count = std::min<std::size_t>(instances.size(), 999);
  for (std::size_t i = 0; i < count; ++i) {
    const StringView kind = ConfigLines::WordOf(*instances[i], 1);
    const StringView name = ConfigLines::WordOf(*instances[i], 2);
    for (const Kind& k : kKinds) {
      if (!EqualsNoCase(kind, k.word)) continue;
      for (K slot : k.slots) SetEncoding(s.FileEncodings, slot, name, slot == K::Gct || slot == K::Extra);
      break;
    }
  }
}

// ---------------------------------------------------------------- simple first-line directives

void FirstLineValues(SuiteSettings& s, ConfigLines& lines) {
  if (lines.Text(u"$retry_parms", 1, 1) == u"*") s.RetryParms = lines.Text(u"$retry_parms", 1, 2);

  const String ip = lines.Text(u"$email_settings", 1, 5);
  if (EqualsNoCase(ip, u"IPv6"))
    s.EmailIpMode = 1;
  else if (EqualsNoCase(ip, u"IPv6ALL"))
    s.EmailIpMode = 2;

  const String c1 = lines.Text(u"$macro_char", 1, 1);
  const String c2 = lines.Text(u"$macro_char", 1, 2);
  if (!c1.empty()) {
    s.MacroChar1 = c1[0];
    TFileBase::SetMacroChar1(c1[0]);
  }
  if (!c2.empty()) {
    s.MacroChar2 = c2[0];
    TFileBase::SetMacroChar2(c2[0]);
  }
}

void RequestDirDirective(SuiteSettings& s, ConfigLines& lines) {
  FolderDirective(s, lines, u"$request_dir", s.RequestDir);
  std::int32_t count = ParseNumber(lines.Text(u"$request_dir", 1, 2), 9);
  if (count > 15) count = 15;
  if (count >= 1) s.RequestDirCount = count;
}

void ImageOptions(SuiteSettings& s, ConfigLines& lines) {
  for (String& option : s.ImageOptions) option.clear();
  for (int inst = 1; inst <= 99 && lines.Exists(u"$image_options", inst); ++inst) {
    const std::int32_t index = ParseNumber(lines.Text(u"$image_options", inst, 1), -1);
    if (index >= 0 && index <= 9)
      s.ImageOptions[static_cast<std::size_t>(index)] = lines.Text(u"$image_options", inst, 2);
  }
}

void LocalTemp(SuiteSettings& s, ConfigLines& lines) {
  const String machine = MachineSelector();
  for (int inst = 1; inst <= 999 && lines.Exists(u"$local_temp", inst); ++inst) {
    if (!NodeApplies(s, NodeFamily::EffectiveOrMachine, lines.Text(u"$local_temp", inst, 1), machine)) continue;
    s.LocalTempDir = lines.Text(u"$local_temp", inst, 2);
    s.LocalTempSource = kTempFromDirective;
  }
}

void EmailNodeBindNames(SuiteSettings& s, ConfigLines& lines) {
  s.EmailNodeBindNames.Clear();
  for (int inst = 1; inst <= 999 && lines.Exists(u"$email_node_bindnames", inst); ++inst) {
    const String name = lines.Text(u"$email_node_bindnames", inst, 1);
    if (name == u"*") continue;
    String value = lines.Text(u"$email_node_bindnames", inst, 2);
    if (!value.empty() && value.front() == u'[') value.erase(0, 1);
    if (!value.empty() && value.back() == u']') value.pop_back();
    s.EmailNodeBindNames.Add(name, value);
  }
}

void CountryAndCompany(SuiteSettings& s, ConfigLines& lines) {
  s.CountryPrefix = lines.Text(u"$country_prefix", 1, 1);
  s.CountryCode = ParseNumber(lines.Text(u"$country_code", 1, 1), 0);
  s.CountryDbOk = EqualsNoCase(lines.Text(u"$country_code", 1, 2), u"DBOK");
}

void VarDefs(SuiteSettings& s, ConfigLines& lines) {
  // The pairs are set in file order in one pass (a later definition
  // replaces an earlier one, an empty value removes it).
  const std::vector<const TokenList*> instances = lines.Instances(u"$var_def");
  const std::size_t count = std::min<std::size_t>(instances.size(), 99999);
  // The pairs view the names and values kept in the lists: the room
  // reserved keeps them in place.
  std::vector<NameValueList::Pair> pairs;
  pairs.reserve(count);
  s.VarDefNames.reserve(s.VarDefNames.size() + count);
  s.VarDefValues.reserve(s.VarDefValues.size() + count);
  String nameText, valueText;  // a quoted word's text form
  for (std::size_t i = 0; i < count; ++i) {
    const String& name = s.VarDefNames.emplace_back(ConfigLines::TextOf(*instances[i], 1, nameText));
    const String& value = s.VarDefValues.emplace_back(ConfigLines::TextOf(*instances[i], 2, valueText));
    pairs.push_back({name, value});
  }
  s.VarDefPairs.SetValues(pairs);
  const String channel = s.VarDefPairs.Value(u"USE_CHANNEL_COMMANDS");
  s.UseChannelCommands = !channel.empty() && !StartsWithNoCaseAscii(channel, u"no");
}

void ScriptLocations(SuiteSettings& s, ConfigLines& lines) {
  TFileBase& list = lines.List();
  for (int inst = 1; inst <= 99999; ++inst) {
    const int index = lines.LineIndex(u"$script_locn", inst);
    if (index < 0) break;
    if (EqualsNoCaseAscii(list.GetSL(index).front(), u"$image_locn")) continue;
    const String& written = list.Text(index);
    const String trimmed = Trim(written);
    const std::size_t n = trimmed.size();
    const bool top = n >= 4 && IsBlank(trimmed[n - 4]) && EqualsNoCaseAscii(StringView(trimmed).substr(n - 3), u"top");
    (top ? s.ScriptLocnTop : s.ScriptLocnOther).push_back(written);
  }
}

void QvMsg(SuiteSettings& s, ConfigLines& lines) {
  for (int inst = 1; inst <= 999; ++inst) {
    const int index = lines.LineIndex(u"$qvmsg", inst);
    if (index < 0) break;
    s.QvMsgLines.push_back(lines.List().Text(index));
  }
}

void DisplayBoxes(SuiteSettings& s, ConfigLines& lines) {
  s.DisplayBoxes.assign(18, TaggedText{String(), -1});
  for (int inst = 1; inst <= 18 && lines.Exists(u"$display_box", inst); ++inst) {
    // Word 1 is a hexadecimal index 0 to 11.
    const std::int32_t index = ParseHex(lines.Word(u"$display_box", inst, 1), -1);
    if (index >= 0 && index <= 17)
      s.DisplayBoxes[static_cast<std::size_t>(index)] = {lines.Text(u"$display_box", inst, 2), 0};
  }
}

void PathAndDllVariables(SuiteSettings& s, ConfigLines& lines) {
  s.DnsMailPath = lines.Variable(u"DNS_MAIL_PATH");
  s.DnsDomainPath = lines.Variable(u"DNS_DOMN_PATH");
  s.TemplateDllPath = lines.Variable(u"TEMPLATE_DLL_PATH");
  s.CTemplateDllPath = lines.Variable(u"CTEMPLATE_DLL_PATH");
  s.TemplateDllBufferSize = std::max(256, ParseNumber(lines.Variable(u"TEMPLATE_DLL_BUFFER_SIZE"), 2048));

  // Seven switches, "1" for on; missing positions count as on.
  String lockOptions = lines.Variable(u"JOB_DLL_LOCK_OPTIONS");
  while (lockOptions.size() < 7) lockOptions.push_back(u'1');
  s.JobDllLockOptions = 0;
  for (std::size_t i = 0; i < 7; ++i)
    if (lockOptions[i] == u'1') s.JobDllLockOptions |= 1u << i;

  s.Fs2b = !lines.Variable(u"FS_2B").empty();
}

void EmailSecurity(SuiteSettings& s, ConfigLines& lines) {
  struct Bit {
    const char16_t* word;
    std::uint32_t bit;
  };
  static const Bit kBits[] = {{u"smimesign", kEmailSmimeSign},     {u"smimeemcrypt", kEmailSmimeEncrypt},
                              {u"dkim", kEmailDkim},               {u"decodesmime", kEmailDecodeSmime},
                              {u"verifydkim", kEmailVerifyDkim},   {u"ImplicitTLS", kEmailImplicitTls}};
  for (int inst = 1; inst <= 64 && lines.Exists(u"$email_security", inst); ++inst) {
    for (int k = 1; k <= 16; ++k) {
      const String word = lines.Word(u"$email_security", inst, k);
      if (word.empty()) break;
      for (const Bit& b : kBits)
        if (EqualsNoCase(word, b.word)) s.EmailSecurity |= b.bit;
    }
  }
}

void ConvertTypes(SuiteSettings& s, ConfigLines& lines) {
  struct Bits {
    const char16_t* word;
    std::uint32_t bits;
  };
  static const Bits kWords[] = {
      {u"URLHTTP", 1u << 0}, {u"URLFTP", 1u << 1}, {u"URLFILE", 1u << 3}, {u"HTM", 1u << 3},
      {u"HTML", 1u << 3},    {u"DOC", 1u << 4},    {u"RTF", 1u << 4},     {u"XLS", 1u << 5},
      {u"PPT", 1u << 6},     {u"XML", 1u << 8},    {u"JPG", 1u << 9},     {u"JPEG", 1u << 9},
      {u"GIF", 1u << 10},    {u"PNG", 1u << 11},   {u"XIF", 1u << 12},    {u"TIFN", 1u << 13},
      {u"TIF", (1u << 13) | (1u << 18)},           {u"SNP", 1u << 14},    {u"DOCX", 1u << 15},
      {u"ODT", 1u << 15},    {u"XLSX", 1u << 16},  {u"ODS", 1u << 16},    {u"PPTX", 1u << 17},
      {u"ODP", 1u << 17},    {u"TIFF", 1u << 18},  {u"EMF", 1u << 19},    {u"WMF", 1u << 20},
      {u"XLSM", 1u << 21}};
  s.PdfLevel = 0;
  for (int k = 1; k <= 20; ++k) {
    const String word = Upper(lines.Text(u"$convert_types", 1, k));
    if (word.empty()) break;
    if (word.compare(0, 3, u"PDF") == 0) {
      s.ConvertTypes |= 1u << 7;
      s.PdfLevel = ParseNumber(word.size() > 3 ? StringView(word).substr(3, 3) : StringView(), 0);
      continue;
    }
    for (const Bits& b : kWords)
      if (word == b.word) s.ConvertTypes |= b.bits;
  }
}

void LockAndTiming(SuiteSettings& s, ConfigLines& lines) {
  const String tries = lines.Text(u"$lock_tries", 1, 1);
  const String delay = lines.Text(u"$lock_tries", 1, 2);
  if (!tries.empty()) s.LockTries = ParseNumber(tries, 20);
  if (!delay.empty()) s.LockDelay = ParseNumber(delay, 50);

  s.ForceTabExt = Trim(lines.Variable(u"FORCE_TAB")) + u".";
  s.ForceCsvExt = Trim(lines.Variable(u"FORCE_CSV")) + u".";
  s.LibreTimeout = ParseNumber(lines.Variable(u"LIBRE_TIMEOUT"), 60);

  const String life = lines.Text(u"$active_life", 1, 1);
  if (!life.empty()) s.ActiveLife = std::clamp(ParseNumber(life, 30), 5, 60);
  const String constraint = lines.Text(u"$active_life", 1, 2);
  s.ToSendConstraints = EqualsNoCase(constraint, u"TOSEND_CONSTRAINTS");
  s.QvActive = EqualsNoCase(constraint, u"QVACTIVE");
}

void UserProfiles(SuiteSettings& s, ConfigLines& lines) {
  String folder = ExpandBaseMacro(s, lines.Word(u"$user_profiles", 1, 1));
  if (folder.empty()) return;
  folder = Upper(WithTrailingBackslash(folder));
  s.UserProfilesDir = folder;
  s.DefaultProfileFile = folder;
  if (lines.LineIndex(u"$user_profiles", 1) > s.DriveMapLine)
    s.DefaultProfileFile = ApplyDriveMapping(s, s.DefaultProfileFile);
  String profile;
  for (int inst = 1; inst <= 99 && lines.Exists(u"$default_profile", inst); ++inst)
    if (NodeApplies(s, NodeFamily::Effective, lines.Text(u"$default_profile", inst, 1), String()))
      profile = lines.Text(u"$default_profile", inst, 2);
  s.DefaultProfileFile += profile.empty() ? String(u"FAX.USR") : Upper(profile);
}

bool RegistryNodeLine(SuiteSettings& s, ConfigLines& lines, StringView keyword) {
  return lines.Exists(keyword, 1) && NodeApplies(s, NodeFamily::Registry, lines.Text(keyword, 1, 1), String());
}

void Queues(SuiteSettings& s, ConfigLines& lines) {
  if (RegistryNodeLine(s, lines, u"$notify_qname")) {
    s.NotifyQueueName = lines.Text(u"$notify_qname", 1, 2);
    s.NotifyQueueLimit = QueueLimitSeconds(lines.Text(u"$notify_qname", 1, 3));
  }
  if (RegistryNodeLine(s, lines, u"$preproc_qname")) {
    s.PreprocQueueName = lines.Text(u"$preproc_qname", 1, 2);
    s.PreprocThreads = std::clamp(ParseNumber(lines.Text(u"$preproc_qname", 1, 3), 0), 0, 16);
  }
  if (RegistryNodeLine(s, lines, u"$preproc_altqname")) {
    s.PreprocAltQueueName = lines.Text(u"$preproc_altqname", 1, 2);
    s.PreprocAltThreads = std::clamp(ParseNumber(lines.Text(u"$preproc_altqname", 1, 3), 0), 0, 16);
  }
  if (RegistryNodeLine(s, lines, u"$preproc_wmdcqname"))
    s.PreprocWmdcQueueName = lines.Text(u"$preproc_wmdcqname", 1, 2);
  if (RegistryNodeLine(s, lines, u"$joblog_qname")) {
    s.JobLogQueueName = lines.Text(u"$joblog_qname", 1, 2);
    s.JobLogQueueLimit = QueueLimitSeconds(lines.Text(u"$joblog_qname", 1, 3));
  }
}

void FixUnicode(SuiteSettings& s, ConfigLines& lines) {
  s.UnicodeFixFrom.clear();
  s.UnicodeFixCodePage.clear();
  s.UnicodeFixTo.clear();
  String value = lines.Variable(u"FIX_UNICODE");
  if (value.empty()) value = u"FF5E,50220,301C, 301C,932,FF5E, FF0D,50220,002D";
  const std::vector<String> items = SplitCommas(value);
  if (items.size() % 3 != 0) return;
  for (std::size_t i = 0; i + 2 < items.size(); i += 3) {
    std::int32_t from = ParseHex(Trim(items[i]), 0);
    const std::int32_t codePage = ParseDecimal(items[i + 1], 0);
    const std::int32_t to = ParseHex(Trim(items[i + 2]), 0);
    if (codePage == 0 || to == 0) from = 0;  // disables the triple
    s.UnicodeFixFrom.push_back(from);
    s.UnicodeFixCodePage.push_back(codePage);
    s.UnicodeFixTo.push_back(to);
  }
}

void JobSummaryAndSpeech(SuiteSettings& s, ConfigLines& lines) {
  const StringView summary = lines.Exists(u"$jobsum_qname", 1) ? u"$jobsum_qname" : u"$taskeye_qname";
  if (RegistryNodeLine(s, lines, summary)) s.JobSummaryQueueName = lines.Text(summary, 1, 2);

  if (RegistryNodeLine(s, lines, u"$tts_dll")) {
    s.TtsDll = lines.Text(u"$tts_dll", 1, 2);
    s.TtsDllArgument = lines.Text(u"$tts_dll", 1, 3);
    struct Wave {
      const char16_t* word;
      std::int32_t code;
    };
    static const Wave kFormats[] = {{u"WAVALAW8", 41},  {u"WAVALAW11", 43}, {u"WAVMULAW8", 49},
                                      {u"WAVMULAW11", 51}, {u"WAV16PCM8", 6},  {u"WAVPCM8", 4}};
    const String wave = lines.Text(u"$tts_dll", 1, 4);
    for (const Wave& f : kFormats)
      if (EqualsNoCase(wave, f.word)) s.TtsWaveFormat = f.code;
  }

  s.Vsp01UserName = lines.Variable(u"VSP01_USERNAME");
  s.Vsp01Password = lines.Variable(u"VSP01_PASSWORD");
  s.OmaWarning = !EqualsNoCase(lines.Variable(u"OMA_WARNING"), u"none");
}

void ColorFrames(SuiteSettings& s, ConfigLines& lines) {
  // A sorted list ignoring letter case; an entry equal to one already there
  // is not added again. Sorted once by the upper-case form, stably, the
  // first of equal entries is the one kept.
  s.ColorFrames.clear();
  std::vector<std::pair<String, TaggedText>> entries;
  for (int inst = 1; inst <= 999 && lines.Exists(u"$colorframe", inst); ++inst) {
    TaggedText entry{lines.Word(u"$colorframe", inst, 1) + u"=" + lines.Text(u"$colorframe", inst, 2),
                     EqualsNoCase(lines.Text(u"$colorframe", inst, 3), u"all") ? 1 : 0};
    String key = Upper(entry.text);
    entries.emplace_back(std::move(key), std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (i == 0 || entries[i].first != entries[i - 1].first) s.ColorFrames.push_back(std::move(entries[i].second));
}

void MsmqPriorities(SuiteSettings& s, ConfigLines& lines) {
  ResetMsmqPriorities(s);
  static const std::pair<const char16_t*, MsmqQueue> kQueues[] = {{u"preproc", MsmqQueue::Preproc},
                                                                   {u"altproc", MsmqQueue::Altproc},
                                                                   {u"notify", MsmqQueue::Notify},
                                                                   {u"fs", MsmqQueue::Fs}};
  for (int inst = 1; inst <= 999 && lines.Exists(u"$msmq_pri", inst); ++inst) {
    const String queue = lines.Text(u"$msmq_pri", inst, 1);
    MsmqTable* table = nullptr;
    for (const auto& [name, q] : kQueues)
      if (EqualsNoCase(queue, name)) table = &s.MsmqPriorities[static_cast<std::size_t>(q)];
    if (!table) continue;

    const String priorityWord = lines.Text(u"$msmq_pri", inst, 2);
    if (priorityWord.size() != 1) continue;
    std::int8_t priority;
    if (priorityWord[0] >= u'0' && priorityWord[0] <= u'7')
      priority = static_cast<std::int8_t>(priorityWord[0] - u'0');
    else if (priorityWord[0] == u'X' || priorityWord[0] == u'x')
      priority = -1;
    else
      continue;

    for (const String& item : SplitCommas(lines.Text(u"$msmq_pri", inst, 3))) {
      std::int32_t a, b;
      const std::size_t dash = item.find(u'-');
      if (dash != String::npos) {
        a = ParseNumber(Trim(StringView(item).substr(0, dash)), -1);
        b = ParseNumber(Trim(StringView(item).substr(dash + 1, 99)), -1);
      } else {
        a = b = ParseNumber(Trim(item), -1);
      }
      if (a < 0 || b < 0) continue;
      if (a < 1) a = 1;
      if (b > s.RequestDirCount) b = s.RequestDirCount;
      if (b < 1) b = 1;
      for (std::int32_t k = a; k <= b && k < static_cast<std::int32_t>(table->size()); ++k)
        (*table)[static_cast<std::size_t>(k)] = priority;
    }
  }
}

void AdConnect(SuiteSettings& s, ConfigLines& lines) {
  s.AdConnect.clear();
  for (int inst = 1; inst <= 99 && lines.Exists(u"$ad_connect", inst); ++inst) {
    s.AdConnectSeen = true;
    if (!NodeApplies(s, NodeFamily::RegistryOrThird, lines.Text(u"$ad_connect", inst, 1), String())) continue;
    for (int k = 1; k <= 5; ++k) s.AdConnect.push_back(lines.Text(u"$ad_connect", inst, k));
    break;
  }
  if (!s.AdConnect.empty())
    while (s.AdConnect.size() < 5) s.AdConnect.emplace_back();
  if (s.AdConnect.size() != 5) return;
  for (int inst = 1; inst <= 99 && lines.Exists(u"$dnis_scan", inst); ++inst) {
    if (!EqualsNoCase(lines.Text(u"$dnis_scan", inst, 1), u"ad")) continue;
    for (int k = 1; k <= 4; ++k) s.AdConnect.push_back(lines.Text(u"$dnis_scan", inst, k));
    break;
  }
}

}  // namespace

void InterpretDirectives(SuiteSettings& s, ConfigLines& lines) {
  MapDrive(s, lines);
  Unicode(s, lines);
  FirstLineValues(s, lines);
  RequestDirDirective(s, lines);
  ReadEnvironmentOptions(s, lines);
  ImageOptions(s, lines);
  LocalTemp(s, lines);
  FillTempAndTraceFolders(s);
  EmailNodeBindNames(s, lines);
  AdjustEnvironmentOptions(s);
  CountryAndCompany(s, lines);
  FolderDirective(s, lines, u"$post_office", s.PostOfficeDir);
  FolderDirective(s, lines, u"$certificates", s.CertificatesDir);
  FolderDirective(s, lines, u"$scripts", s.ScriptsDir);
  FolderDirective(s, lines, u"$user_jobs", s.UserJobsDir);
  s.ConfiguredCompanyName = lines.Text(u"$company_name", 1, 1);
  s.EmailESender = lines.RestOfLine(u"$email_esender", 1);
  s.EmailFrom = lines.RestOfLine(u"$email_from", 1);
  s.EmailNotify = lines.RestOfLine(u"$email_notify", 1);
  FolderDirective(s, lines, u"$log_def", s.LogDir);
  VarDefs(s, lines);
  ScriptLocations(s, lines);
  QvMsg(s, lines);
  DisplayBoxes(s, lines);
  PathAndDllVariables(s, lines);
  EmailSecurity(s, lines);
  s.V7Html = !lines.Variable(u"V7HTML").empty();
  s.Utf8ListsAddBom = !lines.Variable(u"UTF8LISTS_ADDBOM").empty();
  ConvertTypes(s, lines);
  LockAndTiming(s, lines);
  UserProfiles(s, lines);
  s.CpNorvaEdit = Trim(lines.Variable(u"CP_NORVAEDIT"));
  Queues(s, lines);
  FixUnicode(s, lines);
  JobSummaryAndSpeech(s, lines);
  ColorFrames(s, lines);
  FillRequestNumbers(s);
  MsmqPriorities(s, lines);
  AdConnect(s, lines);
  if (s.AdConnectSeen && s.EnvironmentOptions.Value(u"ADP_PROPERTIES").empty())
    s.EnvironmentOptions.SetValue(u"ADP_PROPERTIES", u"cn,name,facsimileTelephoneNumber,mail");
}

}  // namespace qv::settings
