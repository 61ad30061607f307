// The file dialog of the history window's Record… and Export…: a wide path,
// so a folder named in any script can be chosen.
#include "app/win32/history_window.h"

#include <commdlg.h>

#include <cwchar>

#include "serial/win32/wide_text.h"

namespace quorvane {

std::string HistoryWindow::AskForFile(const std::string& title, const std::string& suggestedName) {
  std::wstring file = Widen(suggestedName);
  file.resize(32768, L'\0');  // the longest path Windows takes
  const std::wstring caption = Widen(title);
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = m_hWnd;
  dialog.lpstrFilter = L"CSV files (*.csv)\0*.csv\0All files (*.*)\0*.*\0";
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = caption.c_str();
  dialog.lpstrDefExt = L"csv";
  dialog.Flags =
      OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
  if (!GetSaveFileNameW(&dialog)) return {};
  file.resize(wcslen(file.c_str()));
  return Narrow(file);
}

}  // namespace quorvane
