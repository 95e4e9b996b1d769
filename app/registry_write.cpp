#include "app/registry_write.h"

namespace tessard {

namespace {

LSTATUS CallRegSetValueExW(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes) {
  return ::RegSetValueExW(key, name, 0, type, data, bytes);
}

SetRegistryValueFunction setRegistryValueFunction = &CallRegSetValueExW;

}  // namespace

LSTATUS SetRegistryValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD bytes) {
  return setRegistryValueFunction(key, name, type, data, bytes);
}

SetRegistryValueFunction ReplaceSetRegistryValueFunction(SetRegistryValueFunction function) {
  SetRegistryValueFunction previous = setRegistryValueFunction;
  setRegistryValueFunction = function;
  return previous;
}

}  // namespace tessard
