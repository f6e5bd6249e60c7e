// The application object: message boxes, help and command routing of a library.
#include <dlfcn.h>

#include <QIcon>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <vector>

#include "pairway/machine_root.h"
#include "pairway/ui/ui_sink.h"
#include "pairway/ui/win_app.h"
#include "winuser.h"

namespace pairway::ui {
namespace {

// The application objects alive, oldest first. Made on first use: applications are static
// objects of libraries, constructed in any order.
std::mutex& AppsMutex() {
  static std::mutex mutex;
  return mutex;
}
std::vector<CWinApp*>& Apps() {
  static std::vector<CWinApp*> apps;
  return apps;
}

// Icons by file, made once and kept for the life of the process, so an HICON stays valid.
QIcon* CachedIcon(const char* path) {
  static std::mutex mutex;
  static auto* icons = new std::map<std::string, QIcon*>;
  std::lock_guard<std::mutex> lock(mutex);
  QIcon*& icon = (*icons)[path];
  if (icon == nullptr) icon = new QIcon(QString::fromUtf8(path));
  return icon;
}

}  // namespace

CWinApp::CWinApp(const char* app_name) : app_name_(app_name != nullptr ? app_name : "") {
  std::lock_guard<std::mutex> lock(AppsMutex());
  Apps().push_back(this);
}

CWinApp::~CWinApp() {
  std::lock_guard<std::mutex> lock(AppsMutex());
  auto& apps = Apps();
  apps.erase(std::remove(apps.begin(), apps.end(), this), apps.end());
}

CWinApp* AfxGetApp() {
  std::lock_guard<std::mutex> lock(AppsMutex());
  return Apps().empty() ? nullptr : Apps().back();
}

int AfxMessageBox(LPCSTR text, UINT type, UINT help_id) {
  if (CWinApp* app = AfxGetApp()) return app->DoMessageBox(text, type, help_id);
  MessageBoxRequest request;
  request.text = text != nullptr ? text : "";
  request.type = type;
  return RouteMessageBox(request);
}

void CWinApp::SetImageResources(const ImageResource* table, size_t count) {
  images_ = table;
  image_count_ = table != nullptr ? count : 0;
}

const char* CWinApp::ImagePath(UINT id) const {
  for (size_t i = 0; i < image_count_; ++i) {
    if (images_[i].id == id) return images_[i].path;
  }
  return nullptr;
}

HICON CWinApp::LoadIcon(UINT id) const {
  const char* path = ImagePath(id);
  if (path == nullptr) return nullptr;
  QIcon* icon = CachedIcon(path);
  return icon->isNull() ? nullptr : reinterpret_cast<HICON>(icon);
}

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
  request.host_help_file = host_help_file_path();
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

namespace {

std::string WithHelpExtension(std::string path) {
  size_t name_start = path.find_last_of("\\/");
  size_t dot = path.rfind('.');
  if (dot != std::string::npos && (name_start == std::string::npos || dot > name_start)) {
    path.erase(dot);
  }
  return path + ".HLP";
}

}  // namespace

std::string CWinApp::help_file_path() const {
  if (module_path_.empty()) return {};
  return WithHelpExtension(HostToNtPath(module_path_).value_or(module_path_));
}

std::string CWinApp::host_help_file_path() const {
  if (module_path_.empty()) return {};
  // The library as built, not a link to it in a machine root: its help file lies beside it.
  std::error_code ignored;
  std::filesystem::path real = std::filesystem::canonical(module_path_, ignored);
  return WithHelpExtension(real.empty() ? module_path_ : real.string());
}

}  // namespace pairway::ui

BOOL WINAPI MessageBeep(UINT uType) {
  pairway::ui::RouteBeep(uType);
  return TRUE;
}
