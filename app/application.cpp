#include "app/application.h"

#include "app/main_dialog.h"
#include "localisation/lang.h"
#include "platform/dll_search.h"
#include "platform/system_calls.h"
#include "token/product_info.h"
#include "token/token_access.h"

namespace tessard {

namespace {

HWND mainWindow = nullptr;

// An installer that ends the program with "-t" replaces its files right after: "-t" returns
// once the running instance has ended, or after this long.
constexpr DWORD kEndWaitMs = 10000;
constexpr DWORD kEndPollMs = 50;

std::wstring ProgramName() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name(path);
  name.erase(0, name.find_last_of(L"\\/") + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

}  // namespace

int AppMessageBox(const wchar_t* text, UINT style) {
  return ShowMessageBox(mainWindow, text, ProgramName().c_str(), style);
}

// The token module of the folder the settings name, else the program's own; the provider its
// entries name as the administrator chose.
TokenAccessOptions TokenOptionsOf(const Settings& settings) {
  TokenAccessOptions options;
  if (settings.language.installFolder && !settings.language.installFolder->empty()) {
    options.moduleFolder = *settings.language.installFolder;
    if (options.moduleFolder.back() != L'\\') options.moduleFolder += L'\\';
  }
  options.keyStorageProvider = settings.keyProvider == KeyProviderKind::Ksp;
  return options;
}

BOOL CTessardApp::InitInstance() {
  KeepLibrarySearchToSystemFolders();
  m_settings = ReadSettings();
  LangInitialise(m_settings.language, kProductInfo.languageBase);
  const wchar_t* line = ::GetCommandLineW();
  std::vector<std::wstring> tokens;
  if (line == nullptr || !SplitCommandLine(line, tokens)) return FALSE;
  if (tokens.size() <= 1) {
    RunInstance();
    return FALSE;
  }
  const std::optional<CommandLineOptions> options = ParseCommandLineOptions(tokens);
  if (!options) return FALSE;
  m_bTerminate = options->terminate;
  m_bSilent = options->silent;
  if (options->install) AppMessageBox(L"Self install not implement yet.", MB_ICONEXCLAMATION | MB_SETFOREGROUND);
  if (options->uninstall) AppMessageBox(L"Self uninstall not implement yet.", MB_ICONEXCLAMATION | MB_SETFOREGROUND);
  RunInstance();
  return FALSE;
}

int CTessardApp::ExitInstance() {
  m_hInstanceMutex.reset();
  return 0;
}

// The running instance has ended once the single-instance mutex is gone, which its end
// closes. This process lets go of its own handle first.
void CTessardApp::AwaitEndOfRunningInstance() {
  m_hInstanceMutex.reset();
  for (DWORD waited = 0; waited < kEndWaitMs; waited += kEndPollMs) {
    UniqueHandle running(::OpenMutexW(SYNCHRONIZE, FALSE, kInstanceMutexName));
    if (!running) return;
    running.reset();
    ::Sleep(kEndPollMs);
  }
}

int CTessardApp::RunInstance() {
  m_nInstanceMessage = ::RegisterWindowMessageW(kInstanceMessageName);
  if (m_nInstanceMessage == 0) {
    AppMessageBox(L"Can not initialize.", MB_ICONERROR | MB_SETFOREGROUND);
    return 0;
  }
  m_hInstanceMutex.reset(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
  const bool anotherInstance = ::GetLastError() == ERROR_ALREADY_EXISTS;
  if (anotherInstance && !m_bTerminate) {
    m_hInstanceMutex.reset();
    return 0;
  }
  if (m_bTerminate) {
    ::PostMessageW(HWND_BROADCAST, m_nInstanceMessage, kInstanceTerminate, 0);
    if (anotherInstance) AwaitEndOfRunningInstance();
    return 0;
  }
  TokenAccess token(TokenOptionsOf(m_settings));
  CTessardDlg dialog(m_nInstanceMessage, nullptr, token, m_settings);
  if (!dialog.Create()) return 0;
  mainWindow = dialog.Window();
  ::ShowWindow(dialog.Window(), SW_MINIMIZE);
  ::ShowWindow(dialog.Window(), SW_HIDE);
  if (m_bSilent) ::PostMessageW(HWND_BROADCAST, m_nInstanceMessage, kInstanceSilent, 0);
  dialog.RunModalLoop();
  mainWindow = nullptr;
  return 0;
}

}  // namespace tessard
