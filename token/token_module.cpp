#include "token/token_module.h"

namespace tessard {

namespace {

using GetFunctionListEntry = CK_RV (*)(CK_FUNCTION_LIST**);
using GetAuxFunctionListEntry = CK_RV (*)(const void**);

template <typename Entry>
Entry ExportOf(HMODULE module, const char* name) {
  return reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace

CK_RV TokenModule::Load(const wchar_t* fileName) {
  module_.reset(::LoadLibraryW(fileName));
  if (!module_) return CKR_FUNCTION_FAILED;
  CK_RV rv = ResolveFunctionLists();
  if (rv == CKR_OK) rv = functions_->C_Initialize(nullptr);
  if (rv != CKR_OK) Unload();
  return rv;
}

CK_RV TokenModule::ResolveFunctionLists() {
  auto getFunctionList = ExportOf<GetFunctionListEntry>(module_.get(), "C_GetFunctionList");
  auto getAuxFunctionList = ExportOf<GetAuxFunctionListEntry>(module_.get(), "E_GetAuxFunctionList");
  if (getFunctionList == nullptr || getAuxFunctionList == nullptr) return CKR_FUNCTION_FAILED;
  if (CK_RV rv = getFunctionList(&functions_); rv != CKR_OK) return rv;
  if (functions_ == nullptr) return CKR_FUNCTION_FAILED;
  const void* auxFunctions = nullptr;
  if (CK_RV rv = getAuxFunctionList(&auxFunctions); rv != CKR_OK) return rv;
  if (auxFunctions == nullptr) return CKR_FUNCTION_FAILED;
  wait_ = WaitEntryOf(auxFunctions);
  return wait_ != nullptr ? CKR_OK : CKR_FUNCTION_FAILED;
}

void TokenModule::Finalize() {
  if (functions_ != nullptr) functions_->C_Finalize(nullptr);
}

void TokenModule::Unload() {
  module_.reset();
  functions_ = nullptr;
  wait_ = nullptr;
}

}  // namespace tessard
