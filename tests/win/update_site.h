#pragma once
// The loopback update server of the "wine" fixture (tests/update_server) seen from a test: a
// folder of the server for the running test case, the stand-in installers signed at test
// time, and what else an update run reads: the installed version and the temporary folder.

#include <windows.h>

#include <string>
#include <vector>

namespace tessard::testing {

using LogLines = std::vector<std::string>;

// The stand-in installers: signed by the test publisher, signed by a certificate of its name
// with a key of its own, signed and changed afterwards, not signed.
enum class Installer { kSigned, kImpostor, kTampered, kUnsigned };

// An update folder on loopback where nothing answers: a request fails at once, on this machine.
inline constexpr wchar_t kUnansweredUpdateFolder[] = L"https://localhost:9/Update/";

// The name the update folder gives its installer.
inline constexpr char kOfferedInstaller[] = "tessard-setup.exe";

class UpdateSite {
 public:
  // Trusts the server's test CA for the user and the test publisher for the machine, and makes
  // an empty folder of the server for the running test case; it goes again at the end.
  UpdateSite();
  ~UpdateSite();
  UpdateSite(const UpdateSite&) = delete;
  UpdateSite& operator=(const UpdateSite&) = delete;

  // The update folder's address: https://localhost:PORT/<case>/Update/
  const std::wstring& Folder() const { return address_; }

  void Put(const std::string& name, const std::string& content) const;
  // version.ini offering `version`, and the installer it names: a stand-in, built with the
  // version resource `builtAs` (the version offered when empty), or a file.
  void Offer(const std::string& version, Installer installer, const std::string& builtAs = "") const;
  void Offer(const std::string& version, const std::wstring& installerFile) const;
  // The server answers the file as `answer` says: "404", "500", "short" or "stall".
  void Answer(const std::string& name, const std::string& answer) const;
  // The rest of a stalled file follows.
  void Release(const std::string& name) const;

  // "<file> <status>" for each request of the update folder, in order.
  std::vector<std::string> Requests() const;
  // Requests() starts anew.
  void ForgetRequests() const;

 private:
  std::wstring caseFolder_;
  std::wstring files_;
  std::wstring address_;
  std::string requestPrefix_;  // of each line the server records
};

// A value of the product's settings key under HKEY_LOCAL_MACHINE while this lives.
class SettingsValue {
 public:
  SettingsValue(const wchar_t* name, const std::wstring& text);
  ~SettingsValue();
  SettingsValue(const SettingsValue&) = delete;
  SettingsValue& operator=(const SettingsValue&) = delete;

 private:
  const wchar_t* name_;
};

// The temporary folder of this process, and of the programs it starts, while this lives.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::wstring& path);
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::wstring& Path() const { return path_; }
  // The folders update runs work in.
  std::vector<std::wstring> WorkFolders() const;

 private:
  std::wstring path_;
  std::vector<std::wstring> previous_;
};

bool PathExists(const std::wstring& path);

// The impostor's certificate as a root the user trusts, as a user or a token may add one.
void TrustImpostorForUser();

std::string ReadAll(const std::wstring& path);

// What the stand-in installer logs when the update agent ran it: started without the install
// mutex and without arguments, shown or hidden as the launch asks, its file held.
LogLines InstallerRunLog(const std::string& shown);

}  // namespace tessard::testing
