// The application object: message boxes, help and command routing of a library.
#include <dlfcn.h>

#include <filesystem>

#include "pairway/machine_root.h"
#include "pairway/ui/ui_sink.h"
#include "pairway/ui/win_app.h"
#include "winuser.h"

namespace pairway::ui {

CWnd::~CWnd() = default;

DWORD CWnd::GetHelpContext() const { return 0; }

CWinApp::CWinApp(const char* app_name) : app_name_(app_name != nullptr ? app_name : "") {}

CWinApp::~CWinApp() = default;

int CWinApp::DoMessageBox(const char* prompt, UINT type, UINT help_id) {
  (void)help_id;  // boxes have no Help button here; the id stays part of the call's shape
  if ((type & MB_ICONMASK) == 0 && (type & MB_TYPEMASK) == MB_OK) type |= MB_ICONEXCLAMATION;
  MessageBoxRequest request;
  request.owner = m_pMainWnd;
  request.caption = app_name_;
  request.text = prompt != nullptr ? prompt : "";
  request.type = type;
  return RouteMessageBox(request);
}

void CWinApp::WinHelp(ULONG_PTR data, UINT command) {
  HelpRequest request;
  request.help_file = help_file_path();
  request.command = command;
  request.data = data;
  RouteHelp(request);
}

void CWinApp::OnHelp() {
  DWORD context = m_pMainWnd != nullptr ? m_pMainWnd->GetHelpContext() : 0;
  if (context != 0) {
    WinHelp(context, HELP_CONTEXT);
  } else {
    WinHelp(0, HELP_INDEX);
  }
}

BOOL CWinApp::OnCmdMsg(UINT id) {
  (void)id;
  return FALSE;
}

void CWinApp::SetHelpFileFromModule(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) != 0 && info.dli_fname != nullptr) {
    std::error_code ignored;
    module_path_ = std::filesystem::absolute(info.dli_fname, ignored).string();
  }
}

std::string CWinApp::help_file_path() const {
  if (module_path_.empty()) return {};
  std::string path = HostToNtPath(module_path_).value_or(module_path_);
  size_t name_start = path.find_last_of("\\/");
  size_t dot = path.rfind('.');
  if (dot != std::string::npos && (name_start == std::string::npos || dot > name_start)) {
    path.erase(dot);
  }
  return path + ".HLP";
}

}  // namespace pairway::ui
