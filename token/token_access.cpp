#include "token/token_access.h"

#include <cstring>

#include "token/product_info.h"
#include "token/token_wait.h"

namespace tessard {

namespace {

using GetFunctionListEntry = CK_RV (*)(CK_FUNCTION_LIST**);
using GetAuxFunctionListEntry = CK_RV (*)(const void**);

template <typename Entry>
Entry ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace

TokenAccess::TokenAccess() = default;

// A module still loaded would keep the monitor blocked in its wait for ever.
TokenAccess::~TokenAccess() { Close(); }

CK_RV TokenAccess::Open() {
  if (module) return CKR_OK;
  std::memset(providerName, 0, sizeof providerName);
  std::wcsncpy(providerName, kProductInfo.providerName, std::size(providerName) - 1);
  PurgeProviderCertificates();
  module.reset(::LoadLibraryW(kProductInfo.moduleFileName));
  if (!module) return CKR_FUNCTION_FAILED;
  if (functions == nullptr || auxFunctions == nullptr) {
    if (CK_RV rv = ResolveFunctionLists(); rv != CKR_OK) {
      UnloadModule();
      return rv;
    }
  }
  // Unloaded on failure too: a later Open must not find a module that was never
  // initialised and report success.
  if (CK_RV rv = functions->C_Initialize(nullptr); rv != CKR_OK) {
    UnloadModule();
    return rv;
  }
  return LoadAllSlots();
}

CK_RV TokenAccess::ResolveFunctionLists() {
  auto getFunctionList = ExportOf<GetFunctionListEntry>(module.get(), "C_GetFunctionList");
  auto getAuxFunctionList = ExportOf<GetAuxFunctionListEntry>(module.get(), "E_GetAuxFunctionList");
  if (getFunctionList == nullptr || getAuxFunctionList == nullptr) return CKR_FUNCTION_FAILED;
  if (CK_RV rv = getFunctionList(&functions); rv != CKR_OK) return rv;
  if (functions == nullptr) return CKR_FUNCTION_FAILED;
  if (CK_RV rv = getAuxFunctionList(&auxFunctions); rv != CKR_OK) return rv;
  if (auxFunctions == nullptr || WaitEntryOf(auxFunctions) == nullptr) return CKR_FUNCTION_FAILED;
  return CKR_OK;
}

void TokenAccess::UnloadModule() {
  module.reset();
  functions = nullptr;
  auxFunctions = nullptr;
}

CK_RV TokenAccess::Close() {
  if (!module) return CKR_OK;
  if (functions == nullptr) return CKR_GENERAL_ERROR;
  functions->C_Finalize(nullptr);
  monitorThread.Stop();
  {
    std::lock_guard<std::recursive_mutex> hold(lock);
    slots.clear();
  }
  UnloadModule();
  return CKR_OK;
}

}  // namespace tessard
