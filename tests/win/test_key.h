#pragma once
// A registry key under HKEY_LOCAL_MACHINE made for one test and deleted at its end with what
// it holds. The product's settings key is absent outside the tests that make it.

#include <windows.h>

#include <string>

#include "platform/handles.h"
#include "platform/registry.h"

namespace tessard::testing {

class TestKey {
 public:
  explicit TestKey(std::wstring path) : path_(std::move(path)) {
    ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.put(), nullptr);
  }
  ~TestKey() {
    key_.reset();
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, path_.c_str());
  }
  TestKey(const TestKey&) = delete;
  TestKey& operator=(const TestKey&) = delete;

  void SetText(const wchar_t* name, const std::wstring& text) {
    ::RegSetValueExW(key_.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  void SetNumber(const wchar_t* name, DWORD number) {
    ::RegSetValueExW(key_.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  }
  std::wstring Text(const wchar_t* name) const { return ReadRegistryText(key_.get(), name).value_or(L""); }

 private:
  std::wstring path_;
  UniqueRegKey key_;
};

}  // namespace tessard::testing
