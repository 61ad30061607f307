// The file dialog of the history window's Record… and Export…: a wide path,
// so a folder named in any script can be chosen.
#include "app/win32/history_window.h"

#include <commdlg.h>

#include <cwchar>

namespace quorvane {

namespace {

// A name with the time in it, so one recording never overwrites another.
std::wstring SuggestedFile(const wchar_t* stem) {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  wchar_t name[96] = {};
  swprintf(name, 96, L"%ls-%04u%02u%02u-%02u%02u%02u.csv", stem, now.wYear, now.wMonth, now.wDay,
           now.wHour, now.wMinute, now.wSecond);
  return name;
}

}  // namespace

std::wstring HistoryWindow::AskForFile(const wchar_t* title, const wchar_t* stem) {
  std::wstring file = SuggestedFile(stem);
  file.resize(32768, L'\0');  // the longest path Windows takes
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = m_hWnd;
  dialog.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title;
  dialog.lpstrDefExt = L"csv";
  dialog.Flags =
      OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&dialog)) return {};
  file.resize(wcslen(file.c_str()));
  return file;
}

}  // namespace quorvane
