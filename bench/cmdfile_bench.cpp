// Cost of reading a configuration-sized command file: parsing every line on
// load, and the reader's pattern of asking for instance 1, 2, 3 ... of one
// keyword (which the lookup cache turns into one pass over the file).
#include <benchmark/benchmark.h>

#include "cmdfile/tfilebase.h"
#include "platform/ini.h"

using namespace qv;

namespace {

String MakeConfig(int lines) {
  String text;
  for (int i = 0; i < lines; ++i) {
    switch (i % 4) {
      case 0: text += u"$request_dir \\\\SRV\\NORVA\\TARVEX\\REQ" + ToString(i) + u"\\ ; queue\r\n"; break;
      case 1: text += u"$var_def NAME" + ToString(i) + u" \"a \"\"quoted\"\" value\"\r\n"; break;
      case 2: text += u"; a comment line\r\n"; break;
      default: text += u"$environment OPTION" + ToString(i) + u"=1 /*inline*/ tail\r\n"; break;
    }
  }
  return text;
}

void BM_ParseConfig(benchmark::State& state) {
  const String text = MakeConfig(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TFileBase list;
    list.SetDiscardcomments(true);
    list.LoadFromString(text);
    benchmark::DoNotOptimize(list.Count());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ParseConfig)->Arg(500)->Arg(5000);

void BM_ReadEveryInstance(benchmark::State& state) {
  TFileBase list;
  list.LoadFromString(MakeConfig(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    int found = 0;
    for (int inst = 1; inst <= 999 && !list.GetToken(u"$var_def", inst, 0).empty(); ++inst) {
      benchmark::DoNotOptimize(list.GetSqToken(u"$var_def", inst, 2));
      ++found;
    }
    benchmark::DoNotOptimize(found);
  }
  state.counters["lines_examined_per_pass"] =
      benchmark::Counter(static_cast<double>(list.LookupLinesExamined()) / state.iterations());
}
BENCHMARK(BM_ReadEveryInstance)->Arg(500)->Arg(4000);

void BM_ParseIni(benchmark::State& state) {
  String text = u"[NorvaAppdataShare]\r\nUNCname=\\\\SRV\\NORVA\\\r\n\r\n[DO_NOT_EDIT_OR_CHANGE_UNCname]\r\n";
  for (int i = 0; i < 200; ++i) text += u"Key" + ToString(i) + u" = value " + ToString(i) + u"\r\n";
  for (auto _ : state) {
    const IniFile ini = IniFile::ParseText(text);
    benchmark::DoNotOptimize(ini.Get(u"norvaappdatashare", u"uncname"));
  }
}
BENCHMARK(BM_ParseIni);

}  // namespace
