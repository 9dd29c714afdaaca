// The compiled string-table resources against the C++ tables they were
// generated with: every id of NORVACONNECT's table must come back from this
// program's own resources, every id of QV9REG's from the probe DLL, through
// LoadStringW, character for character. Also the dialog icons in this
// program and the version resource of the DLL.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "resources/string_tables.h"

namespace {

using qv::resources::StringEntry;

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L"\\/") + 1);
}

std::wstring ProbePath() { return ProgramFolder() + QV_LIBRARY_PROBE; }

HMODULE Probe() {
  static HMODULE module = LoadLibraryW(ProbePath().c_str());
  return module;
}

// The resource's own text, without copying or terminating, as LoadStringW
// hands it out with a zero buffer size; empty when there is none.
std::u16string ResourceText(HMODULE module, std::uint32_t id) {
  const wchar_t* text = nullptr;
  int n = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (n <= 0 || text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(n));
}

std::string Hex(std::u16string_view s) {
  std::string out;
  char buf[8];
  for (char16_t c : s) {
    snprintf(buf, sizeof buf, " %04X", static_cast<unsigned>(c));
    out += buf;
  }
  return out;
}

void ExpectTableInModule(std::span<const StringEntry> table, HMODULE module) {
  ASSERT_FALSE(table.empty());
  for (const StringEntry& e : table) {
    std::u16string got = ResourceText(module, e.id);
    EXPECT_EQ(got, e.text) << "id " << e.id << "\n  resource:" << Hex(got) << "\n  table:   " << Hex(e.text);
  }
}

TEST(StringResources, ConnectTableIsInTheProgram) {
  ExpectTableInModule(qv::resources::ConnectTable(), GetModuleHandleW(nullptr));
}

TEST(StringResources, LibraryTableIsInTheDll) {
  ASSERT_NE(Probe(), nullptr) << "cannot load the probe DLL, error " << GetLastError();
  ExpectTableInModule(qv::resources::LibraryTable(), Probe());
}

TEST(StringResources, EachModuleHoldsOnlyItsOwnTable) {
  ASSERT_NE(Probe(), nullptr);
  for (const StringEntry& e : qv::resources::LibraryTable()) {
    EXPECT_TRUE(ResourceText(GetModuleHandleW(nullptr), e.id).empty()) << e.id;
  }
  for (const StringEntry& e : qv::resources::ConnectTable()) {
    EXPECT_TRUE(ResourceText(Probe(), e.id).empty()) << e.id;
  }
  // Gaps inside the tables' ranges stay gaps.
  for (std::uint32_t id : {20194u, 20197u, 20215u, 64916u, 64918u, 64944u}) {
    EXPECT_TRUE(ResourceText(GetModuleHandleW(nullptr), id).empty()) << id;
  }
  for (std::uint32_t id : {902u, 942u, 951u, 994u}) {
    EXPECT_TRUE(ResourceText(Probe(), id).empty()) << id;
  }
}

TEST(StringResources, CopyingLoadKeepsCarriageReturnsAndTheNotSign) {
  // The copying form of LoadStringW, as the message lookups use it.
  wchar_t buf[2048];
  int n = LoadStringW(GetModuleHandleW(nullptr), 64921, buf, 2048);
  ASSERT_GT(n, 0);
  std::wstring connect(buf, static_cast<std::size_t>(n));
  EXPECT_NE(connect.find(L"resides. \r\r\"ExpectedUNCpath\" = %s\rActual path = %s\r\rIt is"),
            std::wstring::npos)
      << "64921 lost its carriage returns or quotation marks";

  ASSERT_NE(Probe(), nullptr);
  n = LoadStringW(Probe(), 987, buf, 2048);
  ASSERT_GT(n, 0);
  std::wstring advice(buf, static_cast<std::size_t>(n));
  std::size_t cut = advice.find(L'\u00AC');
  ASSERT_NE(cut, std::wstring::npos);
  EXPECT_EQ(advice.substr(cut, 13), L"\u00AC<BR><BR>See ");
  EXPECT_NE(advice.find(L"<A HREF=\"https://"), std::wstring::npos);

  // Too small a buffer truncates and terminates.
  n = LoadStringW(Probe(), 990, buf, 8);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(std::wstring(buf), L"Velmora");
}

TEST(StringResources, DialogIconsAreNamedIconResources) {
  HMODULE self = GetModuleHandleW(nullptr);
  struct Icon {
    const wchar_t* name;
    const char* shown;
  };
  for (const Icon& i : {Icon{L"Warning1", "Warning1"}, Icon{L"Error1", "Error1"},
                        Icon{L"Information1", "Information1"}, Icon{L"Confirmation1", "Confirmation1"}}) {
    SCOPED_TRACE(i.shown);
    const wchar_t* name = i.name;
    EXPECT_NE(FindResourceW(self, name, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */), nullptr);
    HICON icon = static_cast<HICON>(LoadImageW(self, name, IMAGE_ICON, 36, 36, 0));
    ASSERT_NE(icon, nullptr) << GetLastError();
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bm{};
    ASSERT_TRUE(GetObjectW(info.hbmColor, sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, 36);
    EXPECT_EQ(bm.bmHeight, 36);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

std::wstring VersionString(const std::string& data, const wchar_t* name) {
  std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  void* value = nullptr;
  UINT len = 0;
  if (!VerQueryValueW(data.data(), key.c_str(), &value, &len) || len == 0) return {};
  return std::wstring(static_cast<const wchar_t*>(value));
}

TEST(StringResources, DllCarriesTheLibraryVersion) {
  std::wstring path = ProbePath();
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u) << GetLastError();
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  ASSERT_GE(len, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, (9u << 16) | 1u);
  EXPECT_EQ(fixed->dwFileVersionLS, (0u << 16) | 379u);
  EXPECT_EQ(fixed->dwProductVersionMS, (9u << 16) | 1u);
  EXPECT_EQ(fixed->dwProductVersionLS, (0u << 16) | 379u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  EXPECT_EQ(VersionString(data, L"FileVersion"), L"9.1.0.379");
  EXPECT_EQ(VersionString(data, L"ProductVersion"), L"9.1.0.379");
  EXPECT_EQ(VersionString(data, L"CompanyName"), L"Velmora");
  EXPECT_EQ(VersionString(data, L"ProductName"), L"Velmora QV9REG configuration locator");
  EXPECT_EQ(VersionString(data, L"OriginalFilename"), L"QV9REG.DLL");
}

}  // namespace
