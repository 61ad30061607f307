// The compiled resources against the numbers the code uses (control_ids.h)
// and the window's published layout: the dialog template read back from this
// program's own resources, the version record and the icon group.
// clang-format off
#include "controls/win32/windows_api.h"
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "controller/control_ids.h"
#include "quorvane_version.h"  // generated in the build folder
#include "tests/app/expected_layout.h"

using namespace quorvane;
using quorvane::test::ExpectedRow;
using quorvane::test::kExpectedLayout;
using quorvane::test::Kind;

namespace {

// The styles each kind of control is published with, beyond WS_CHILD | WS_VISIBLE.
DWORD StyleOf(Kind kind) {
  switch (kind) {
    case Kind::PushButton:
      return BS_PUSHBUTTON | WS_TABSTOP;
    case Kind::GroupBox:
      return BS_GROUPBOX;
    case Kind::Label:
      return SS_LEFT | WS_GROUP;
    case Kind::Display:
      return SS_CENTER | WS_BORDER | WS_GROUP;
    case Kind::Edit:
      return ES_CENTER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
    case Kind::PortList:
      return CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP;
    case Kind::Slider:
      return TBS_HORZ | TBS_BOTTOM | WS_TABSTOP;
  }
  return 0;
}

// Reads an extended dialog template (DLGTEMPLATEEX and its items) field by field.
class TemplateReader {
 public:
  TemplateReader(const BYTE* data, std::size_t size) : m_data(data), m_size(size) {}

  template <typename T>
  T Read() {
    T value{};
    if (m_at + sizeof(T) > m_size) {
      m_overrun = true;
      return value;
    }
    std::memcpy(&value, m_data + m_at, sizeof(T));
    m_at += sizeof(T);
    return value;
  }
  // A string, or an ordinal written "#n"; empty when the field is absent.
  std::wstring ReadNameOrOrdinal() {
    const auto first = Read<WORD>();
    if (first == 0) return {};
    if (first == 0xFFFF) return L"#" + std::to_wstring(Read<WORD>());
    std::wstring text(1, static_cast<wchar_t>(first));
    for (WORD c = Read<WORD>(); c != 0 && !m_overrun; c = Read<WORD>())
      text += static_cast<wchar_t>(c);
    return text;
  }
  void AlignTo4() { m_at = (m_at + 3) & ~std::size_t{3}; }
  void Skip(std::size_t count) { m_at += count; }
  bool Overrun() const { return m_overrun || m_at > m_size; }

 private:
  const BYTE* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
  bool m_overrun = false;
};

// The predefined classes an item may name by ordinal.
std::wstring ClassName(const std::wstring& nameOrOrdinal) {
  if (nameOrOrdinal == L"#128") return L"Button";
  if (nameOrOrdinal == L"#129") return L"Edit";
  if (nameOrOrdinal == L"#130") return L"Static";
  if (nameOrOrdinal == L"#133") return L"ComboBox";
  return nameOrOrdinal;
}

std::pair<const BYTE*, std::size_t> Resource(const wchar_t* type, int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {nullptr, 0};
  return {static_cast<const BYTE*>(LockResource(LoadResource(module, found))),
          SizeofResource(module, found)};
}

TEST(DialogTemplate, MatchesTheControlIdsAndTheLayout) {
  const auto [data, size] = Resource(RT_DIALOG, IDD_MAIN);
  ASSERT_NE(data, nullptr) << "no dialog resource " << IDD_MAIN;
  TemplateReader in(data, size);
  EXPECT_EQ(in.Read<WORD>(), 1);       // version
  EXPECT_EQ(in.Read<WORD>(), 0xFFFF);  // extended template
  EXPECT_EQ(in.Read<DWORD>(), 0u);     // help id
  EXPECT_EQ(in.Read<DWORD>(), DWORD{WS_EX_APPWINDOW});
  EXPECT_EQ(in.Read<DWORD>(),
            DWORD{WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT});
  const auto count = in.Read<WORD>();
  ASSERT_EQ(count, std::size(kExpectedLayout));
  EXPECT_EQ(in.Read<short>(), 0);
  EXPECT_EQ(in.Read<short>(), 0);
  EXPECT_EQ(in.Read<short>(), test::kExpectedWidth);
  EXPECT_EQ(in.Read<short>(), test::kExpectedHeight);
  EXPECT_EQ(in.ReadNameOrOrdinal(), L"");  // menu
  EXPECT_EQ(in.ReadNameOrOrdinal(), L"");  // window class
  EXPECT_EQ(in.ReadNameOrOrdinal(), test::kExpectedCaption);
  EXPECT_EQ(in.Read<WORD>(), test::kExpectedFontPoints);  // points
  EXPECT_EQ(in.Read<WORD>(), 0);                          // weight
  EXPECT_EQ(in.Read<BYTE>(), 0);                          // italic
  EXPECT_EQ(in.Read<BYTE>(), 1);                          // character set
  EXPECT_EQ(in.ReadNameOrOrdinal(), test::kExpectedFontFamily);

  for (std::size_t i = 0; i < std::size(kExpectedLayout); ++i) {
    const ExpectedRow& want = kExpectedLayout[i];
    SCOPED_TRACE("template row " + std::to_string(i + 1));
    in.AlignTo4();
    EXPECT_EQ(in.Read<DWORD>(), 0u);  // help id
    EXPECT_EQ(in.Read<DWORD>(), 0u);  // extended style
    EXPECT_EQ(in.Read<DWORD>(), WS_CHILD | WS_VISIBLE | StyleOf(want.kind));
    EXPECT_EQ(in.Read<short>(), want.x);
    EXPECT_EQ(in.Read<short>(), want.y);
    EXPECT_EQ(in.Read<short>(), want.width);
    EXPECT_EQ(in.Read<short>(), want.height);
    EXPECT_EQ(static_cast<int>(in.Read<DWORD>()), want.id);
    // Class names are not case-sensitive; resource compilers differ in case.
    const std::wstring windowClass = ClassName(in.ReadNameOrOrdinal());
    EXPECT_EQ(_wcsicmp(windowClass.c_str(), want.windowClass), 0)
        << std::string(windowClass.begin(), windowClass.end());
    EXPECT_EQ(in.ReadNameOrOrdinal(), want.caption);
    in.Skip(in.Read<WORD>());  // creation data
    ASSERT_FALSE(in.Overrun());
  }
}

TEST(DialogTemplate, IconGroupHoldsTheThreeImages) {
  const auto [data, size] = Resource(RT_GROUP_ICON, IDI_APP);
  ASSERT_NE(data, nullptr) << "no icon group " << IDI_APP;
  ASSERT_GE(size, 6u + 3 * 14u);
  TemplateReader in(data, size);
  in.Skip(4);
  ASSERT_EQ(in.Read<WORD>(), 3);
  struct Image {
    int size;
    int bits;
  };
  for (const Image want : {Image{32, 4}, Image{16, 4}, Image{48, 8}}) {
    EXPECT_EQ(in.Read<BYTE>(), want.size);
    EXPECT_EQ(in.Read<BYTE>(), want.size);
    in.Skip(4);  // colour count, reserved, planes
    EXPECT_EQ(in.Read<WORD>(), want.bits) << want.size << " px image";
    in.Skip(6);  // size in bytes, image id
  }
}

TEST(DialogTemplate, VersionRecordNamesTheProgram) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));

  // The record carries the project's version, the one --version prints: its
  // four numbers, and the text form "1, 0, 0, 1".
  unsigned field[4] = {};
  ASSERT_EQ(
      std::sscanf(QUORVANE_VERSION, "%u.%u.%u.%u", &field[0], &field[1], &field[2], &field[3]), 4);
  const std::wstring text = std::to_wstring(field[0]) + L", " + std::to_wstring(field[1]) + L", " +
                            std::to_wstring(field[2]) + L", " + std::to_wstring(field[3]);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, field[0] << 16 | field[1]);
  EXPECT_EQ(fixed->dwFileVersionLS, field[2] << 16 | field[3]);
  EXPECT_EQ(fixed->dwProductVersionMS, field[0] << 16 | field[1]);
  EXPECT_EQ(fixed->dwProductVersionLS, field[2] << 16 | field[3]);
  EXPECT_EQ(fixed->dwFileType, DWORD{VFT_APP});

  struct Entry {
    const wchar_t* key;
    const wchar_t* value;
  };
  for (const Entry want :
       {Entry{L"FileDescription", L"Quorvane.exe"}, Entry{L"FileVersion", text.c_str()},
        Entry{L"InternalName", L"Quorvane"}, Entry{L"OriginalFilename", L"Quorvane.EXE"},
        Entry{L"ProductName", L"Quorvane"}, Entry{L"ProductVersion", text.c_str()},
        Entry{L"CompanyName", L""}, Entry{L"LegalCopyright", L""}, Entry{L"Comments", L""}}) {
    const std::wstring key = std::wstring(L"\\StringFileInfo\\080404b0\\") + want.key;
    wchar_t* value = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
        << "no " << std::string(key.begin(), key.end());
    // An empty value may come back as no characters at all.
    EXPECT_EQ(length == 0 ? std::wstring() : std::wstring(value), std::wstring(want.value));
  }
}

}  // namespace
