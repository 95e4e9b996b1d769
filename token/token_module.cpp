#include "token/token_module.h"

#include <string>

#include "platform/dll_search.h"
#include "platform/trace.h"
#include "token/module_call.h"

namespace tessard {

namespace {

using GetFunctionListEntry = CK_RV (*)(CK_FUNCTION_LIST**);
using GetAuxFunctionListEntry = CK_RV (*)(const void**);

template <typename Entry>
Entry ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace

CK_RV TokenModule::Load(const std::wstring& path) {
  module_.reset(LoadLibraryFromPath(path));
  if (!module_) {
    Trace(L"the token module " + path + L" did not load: " + HexCode(::GetLastError()));
    return CKR_FUNCTION_FAILED;
  }
  CK_RV rv = ResolveFunctionLists();
  if (rv == CKR_OK) rv = Checked("C_Initialize", functions_->C_Initialize(nullptr));
  if (rv != CKR_OK) Unload();
  return rv;
}

CK_RV TokenModule::ResolveFunctionLists() {
  auto getFunctionList = ExportOf<GetFunctionListEntry>(module_.get(), "C_GetFunctionList");
  auto getAuxFunctionList = ExportOf<GetAuxFunctionListEntry>(module_.get(), "E_GetAuxFunctionList");
  if (getFunctionList == nullptr || getAuxFunctionList == nullptr) {
    Trace(L"the token module lacks C_GetFunctionList or E_GetAuxFunctionList");
    return CKR_FUNCTION_FAILED;
  }
  if (CK_RV rv = Checked("C_GetFunctionList", getFunctionList(&functions_)); rv != CKR_OK) return rv;
  const void* auxFunctions = nullptr;
  if (CK_RV rv = Checked("E_GetAuxFunctionList", getAuxFunctionList(&auxFunctions)); rv != CKR_OK) return rv;
  if (functions_ != nullptr && auxFunctions != nullptr) wait_ = WaitEntryOf(auxFunctions);
  if (wait_ == nullptr) {
    Trace(L"the token module gave no function list or no event wait");
    return CKR_FUNCTION_FAILED;
  }
  return CKR_OK;
}

void TokenModule::Finalize() {
  if (functions_ != nullptr) Checked("C_Finalize", functions_->C_Finalize(nullptr));
}

void TokenModule::Unload() {
  module_.reset();
  functions_ = nullptr;
  wait_ = nullptr;
}

void TokenModule::Abandon() {
  module_.release();
  Unload();
}

}  // namespace tessard
