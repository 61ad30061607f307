// Start-up of the panel around its one window.
#include "app/win32/controller_app.h"

#include "app/win32/controller_dlg.h"
#include "controller/control_ids.h"
#include "quorvane_version.h"  // generated in the build folder
#include "serial/win32/wide_text.h"

namespace quorvane {

namespace {
constexpr const wchar_t* kProgramName = L"Quorvane";
}

CControllerApp::CControllerApp(SerialLinkInterface& link, const PortProbe& ports)
    : m_link(link), m_ports(ports) {}

std::wstring CControllerApp::HelpText(const std::string& limitsText) {
  return std::wstring(kProgramName) + L"\nVersion " + Widen(QUORVANE_VERSION) +
         L"\n\nNo help is installed for this program.\n\n"
         // The keys are listed here because nothing on the window shows them.
         L"Keys:\n"
         L"F1: this box\n"
         L"F2: the readings history\n"
         L"Tab, Shift+Tab: from control to control, the read-outs last\n"
         L"Space: presses the button that has the focus; held on a step button, it repeats\n"
         L"Enter in an entry field: sends its value\n\n"
         L"Lab limits:\n" +
         Widen(limitsText);
}

void CControllerApp::OnHelp(HWND parent, const std::string& limitsText) {
  const std::wstring text = HelpText(limitsText);
  MSGBOXPARAMSW box{};
  box.cbSize = sizeof box;
  box.hwndOwner = parent;
  box.hInstance = GetModuleHandleW(nullptr);
  box.lpszText = text.c_str();
  box.lpszCaption = kProgramName;
  box.dwStyle = MB_OK | MB_USERICON;
  box.lpszIcon = MAKEINTRESOURCEW(IDI_APP);
  MessageBoxIndirectW(&box);
}

bool CControllerApp::InitInstance() {
  // The box lists the limits the window works under, so it asks the window.
  const CControllerDlg* window = nullptr;
  CControllerDlg dlg(m_link, m_ports,
                     [&window](HWND owner) { OnHelp(owner, window->LimitsHelpText()); });
  window = &dlg;
  // A window that cannot be created ends the program without a message.
  if (dlg.Create()) dlg.RunModal();
  return false;
}

}  // namespace quorvane
