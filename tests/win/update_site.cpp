#include "tests/win/update_site.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "certstore/crypt_handles.h"
#include "platform/handles.h"
#include "platform/text_convert.h"
#include "token/product_info.h"

namespace tessard::testing {

namespace {

const std::wstring kSite = TESSARD_UPDATE_SITE;
const wchar_t* const kTemporaryVariables[] = {L"TMP", L"TEMP"};

// Unique among the test cases that run side by side in this and other executables.
std::wstring UniqueCaseName() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "none";
  return ToWide(name, kCodePageAnsi) + L"." + std::to_wstring(::GetCurrentProcessId());
}

std::wstring Wide(const std::string& name) { return ToWide(name, kCodePageAnsi); }

void WriteAll(const std::wstring& path, const std::string& content) {
  std::ofstream out{std::filesystem::path(path), std::ios::binary | std::ios::trunc};
  out << content;
  ASSERT_TRUE(out.flush()) << ToNarrow(path, kCodePageAnsi);
}

// WinINet accepts the server once its CA is a trusted root. It goes into the user's own
// registry store: Wine keeps no change made through the machine's ROOT store, nor one made
// through the user's ROOT collection after a deletion. The CAs of earlier runs have the same
// name and other keys; they go, so that roots do not pile up run after run.
void TrustServerCa() {
  const std::string der = ReadAll(kSite + L"\\ca.der");
  const UniqueCertContext ca(::CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()), static_cast<DWORD>(der.size())));
  ASSERT_TRUE(ca) << "no CA: is the update_site.start fixture up?";
  const UniqueCertStore root(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
  ASSERT_TRUE(root);
  DeferredDeletion earlier;
  for (PCCERT_CONTEXT certificate : StoreCertificates(root.get())) {
    if (::CertCompareCertificateName(X509_ASN_ENCODING, &certificate->pCertInfo->Subject,
                                     &ca.get()->pCertInfo->Subject) &&
        !::CertCompareCertificate(X509_ASN_ENCODING, certificate->pCertInfo, ca.get()->pCertInfo)) {
      earlier.Pick(certificate);
    }
  }
  earlier.DeleteAll();
  ASSERT_TRUE(::CertAddCertificateContextToStore(root.get(), ca.get(), CERT_STORE_ADD_USE_EXISTING, nullptr));
}

UniqueCertContext CertificateOfSite(const wchar_t* file) {
  const std::string der = ReadAll(kSite + L"\\" + file);
  return UniqueCertContext(::CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                                          static_cast<DWORD>(der.size())));
}

void AddToRoots(HCERTSTORE roots, const wchar_t* file) {
  const UniqueCertContext certificate = CertificateOfSite(file);
  ASSERT_TRUE(roots && certificate) << "no store, or no " << ToNarrow(file, kCodePageAnsi);
  ASSERT_TRUE(::CertAddCertificateContextToStore(roots, certificate.get(), CERT_STORE_ADD_USE_EXISTING, nullptr));
}

// The update agent runs an installer only when its chain ends in a root of the machine's own
// store; under Wine, additions through the machine's system store persist in the prefix.
void TrustPublisherOnMachine() {
  const UniqueCertStore roots(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
  AddToRoots(roots.get(), L"publisher.der");
}

// The stand-in installers signed, or not, at test time.
std::wstring MadeInstaller(Installer installer, const std::string& version) {
  switch (installer) {
    case Installer::kSigned:
      return kSite + L"\\installers\\signed-" + Wide(version) + L".exe";
    case Installer::kImpostor:
      return kSite + L"\\installers\\impostor-" + Wide(version) + L".exe";
    case Installer::kTampered:
      return kSite + L"\\installers\\tampered.exe";
    case Installer::kUnsigned:
      return kSite + L"\\installers\\unsigned.exe";
  }
  return {};
}

}  // namespace

UpdateSite::UpdateSite() {
  TrustServerCa();
  TrustPublisherOnMachine();
  const std::wstring name = UniqueCaseName();
  caseFolder_ = kSite + L"\\files\\" + name;
  files_ = caseFolder_ + L"\\Update\\";
  std::filesystem::remove_all(caseFolder_);
  std::filesystem::create_directories(files_);
  const std::string port = ReadAll(kSite + L"\\port");
  EXPECT_FALSE(port.empty()) << "the update server is not up";
  address_ = L"https://localhost:" + Wide(port) + L"/" + name + L"/Update/";
  requestPrefix_ = "GET /" + ToNarrow(name, kCodePageAnsi) + "/Update/";
}

UpdateSite::~UpdateSite() {
  std::error_code ignored;
  std::filesystem::remove_all(caseFolder_, ignored);
}

void UpdateSite::Put(const std::string& name, const std::string& content) const {
  WriteAll(files_ + Wide(name), content);
}

void UpdateSite::Offer(const std::string& version, Installer installer, const std::string& builtAs) const {
  Offer(version, MadeInstaller(installer, builtAs.empty() ? version : builtAs));
}

void UpdateSite::Offer(const std::string& version, const std::wstring& installerFile) const {
  Put("version.ini", "[Orvane-CA_Setup]\r\nVersion=" + version + "\r\nName=" + kOfferedInstaller + "\r\n");
  ASSERT_TRUE(::CopyFileW(installerFile.c_str(), (files_ + Wide(kOfferedInstaller)).c_str(), FALSE));
}

void UpdateSite::Answer(const std::string& name, const std::string& answer) const { Put(name + ".answer", answer); }

void UpdateSite::Release(const std::string& name) const { Put(name + ".release", ""); }

void UpdateSite::ForgetRequests() const { std::filesystem::remove(caseFolder_ + L"\\requests.log"); }

std::vector<std::string> UpdateSite::Requests() const {
  std::ifstream in{std::filesystem::path(caseFolder_ + L"\\requests.log")};
  std::vector<std::string> requests;
  for (std::string line; std::getline(in, line);) {
    requests.push_back(line.rfind(requestPrefix_, 0) == 0 ? line.substr(requestPrefix_.size()) : line);
  }
  return requests;
}

SettingsValue::SettingsValue(const wchar_t* name, const std::wstring& text) : name_(name) {
  UniqueRegKey key;
  EXPECT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              key.put(), nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// The key goes too once it is empty: outside the tests that make it, there is none.
SettingsValue::~SettingsValue() {
  ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, name_);
  UniqueRegKey key;
  DWORD subkeys = 0;
  DWORD values = 0;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath, 0, KEY_QUERY_VALUE, key.put()) ==
          ERROR_SUCCESS &&
      ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
      subkeys == 0 && values == 0) {
    key.reset();
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kProductInfo.settingsKeyPath);
  }
}

TemporaryFolder::TemporaryFolder(const std::wstring& path) : path_(path) {
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
  for (const wchar_t* variable : kTemporaryVariables) {
    wchar_t value[MAX_PATH] = {};
    ::GetEnvironmentVariableW(variable, value, MAX_PATH);
    previous_.emplace_back(value);
    ::SetEnvironmentVariableW(variable, path_.c_str());
  }
}

TemporaryFolder::~TemporaryFolder() {
  for (size_t i = 0; i < previous_.size(); ++i) ::SetEnvironmentVariableW(kTemporaryVariables[i], previous_[i].c_str());
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<std::wstring> TemporaryFolder::WorkFolders() const {
  std::vector<std::wstring> folders;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    if (entry.is_directory() && entry.path().filename().wstring().starts_with(L"Tessard-update-")) {
      folders.push_back(entry.path().wstring());
    }
  }
  return folders;
}

bool PathExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void TrustImpostorForUser() {
  const UniqueCertStore roots(
      ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root"));
  AddToRoots(roots.get(), L"impostor.der");
}

std::string ReadAll(const std::wstring& path) {
  std::ifstream in{std::filesystem::path(path), std::ios::binary};
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

LogLines InstallerRunLog(const std::string& shown) {
  return {"orvane-ca_installer.exe", "no mutex", "0", shown, "held"};
}

}  // namespace tessard::testing
