#pragma once
// The token maker's PKCS#11 module, loaded by its full path: its standard function list and the
// auxiliary list whose fourth entry is the blocking event wait.

#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "token/pkcs11.h"
#include "token/token_wait.h"

namespace tessard {

class TokenModule {
 public:
  TokenModule() = default;
  TokenModule(const TokenModule&) = delete;
  TokenModule& operator=(const TokenModule&) = delete;

  // Loads the module, resolves both lists and initialises it. On any failure nothing stays
  // loaded: a later Load must not find a module that was never initialised. The module's
  // own status where it gave one, else CKR_FUNCTION_FAILED.
  CK_RV Load(const std::wstring& path);
  // C_Finalize, which makes a pending event wait return; the module stays loaded.
  void Finalize();
  void Unload();
  // Forgets the module without unloading it: a thread ended inside it may have left it in any
  // state, and the end of the process unloads it.
  void Abandon();

  bool IsLoaded() const { return static_cast<bool>(module_); }
  CK_FUNCTION_LIST* Functions() const { return functions_; }
  WaitForTokenEventEntry WaitEntry() const { return wait_; }

 private:
  CK_RV ResolveFunctionLists();

  UniqueModule module_;
  CK_FUNCTION_LIST* functions_ = nullptr;
  WaitForTokenEventEntry wait_ = nullptr;
};

}  // namespace tessard
