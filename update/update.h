#pragma once
// The update agent: operational parameters from the update server's Config.ini, and a newer
// installer from its version.ini, run only when its signature and its signer are ours. Every
// failure is silent; the program goes on with its defaults.

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "token/product_info.h"

namespace tessard {

// The update folder: the administrator's "UpdateUrl" when it is an https address ending in
// "/", else the one the program was built with.
std::wstring UpdateFolderOf(const std::optional<std::wstring>& updateUrl);

// Sets warnDays (30 when the configuration cannot be had) and replaces url by the page of a
// non-blank "ID02=" that is an http or https address. Always true.
bool FetchUpdateConfig(const std::wstring& folder, unsigned long slot, int& warnDays, std::wstring& url);

// 1 when the server answered 200 at an https address and the whole body, at most `largest`
// bytes, is in the file, which did not exist before; otherwise 0, and no file.
int DownloadFile(const std::wstring& url, const std::wstring& path, std::uint64_t largest);

// The "Version" of the settings key; an empty version when the key is missing, none when the
// value cannot be read.
std::optional<std::wstring> ReadInstalledVersion(const wchar_t* keyPath = kProductInfo.settingsKeyPath);

// The program's request to end: a message posted to its windows. The installer that an
// update run waits for sends it ("-t") before it replaces the program's files, so the waits
// of a run end when it comes, and the message stays queued for the program to act on.
struct EndingRequest {
  UINT message = 0;  // none: the waits last
  WPARAM wParam = 0;
};

enum class UpdateRun { Done, Stopped };

// Waits a little while an installation runs, then downloads a newer installer of the folder
// into a work folder of its own, runs it when its signature, publisher and version are right
// and waits for it, leaving nothing of what it downloaded behind. A version whose elevation
// the person declined is not asked for again. Asked to end meanwhile, it returns Stopped at
// once, and its caller does nothing more; the next run deletes what this one left.
UpdateRun RunUpdate(const std::wstring& folder, EndingRequest ending = {});

enum class Elevation { Started, Declined, Failed };

// Starts `file` with the "runas" verb and waits for the process it started, unless the
// program is asked to end first. Declined when the person refused the elevation.
Elevation RunElevated(HWND window, const wchar_t* file, const wchar_t* parameters, const wchar_t* directory,
                      EndingRequest ending = {});

}  // namespace tessard
