// qv_engine_standin NODE SIGNATURE REPLY SECONDS
//
// Owns the shared block "TarvexFG" + NODE (12 bytes: request, reply,
// signature) as a running engine does: writes REPLY and SIGNATURE (hex,
// e.g. 1F2F3F5F), prints "ready", then watches the request field for up to
// SECONDS seconds. When a requester sets it to 1 it prints "request 1" and
// ends with exit code 0 after keeping the block one more second (the
// requester waits two); exit code 1 when no request came, 2 on bad use.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: qv_engine_standin NODE SIGNATURE REPLY SECONDS\n");
    return 2;
  }
  const std::string node = argv[1];
  const auto signature = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 16));
  const auto reply = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
  const long seconds = std::strtol(argv[4], nullptr, 10);
  const std::wstring name = L"TarvexFG" + std::wstring(node.begin(), node.end());
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 12, name.c_str());
  if (!mapping) return 2;
  auto* fields = static_cast<volatile DWORD*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 12));
  if (!fields) return 2;
  fields[0] = 0;
  fields[1] = reply;
  fields[2] = signature;
  std::printf("ready\n");
  std::fflush(stdout);
  int result = 1;
  for (long waited = 0; waited < seconds * 1000; waited += 20) {
    if (fields[0] == 1) {
      std::printf("request 1\n");
      std::fflush(stdout);
      Sleep(1000);
      result = 0;
      break;
    }
    Sleep(20);
  }
  UnmapViewOfFile(const_cast<DWORD*>(fields));
  CloseHandle(mapping);
  return result;
}
