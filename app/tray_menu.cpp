#include "app/tray_menu.h"

#include "app/settings.h"
#include "localisation/lang.h"
#include "platform/handles.h"
#include "platform/system_calls.h"

namespace tessard {

namespace {

std::optional<std::wstring> ResultText(StoreResult result, const TextId& stored, const TextId& failed) {
  if (result == StoreResult::KeyUnavailable) return std::nullopt;
  return LangGetString(result == StoreResult::Stored ? stored : failed);
}

}  // namespace

UINT TrackTrayMenu(HWND owner, int languageId, bool nonCache) {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  UniqueMenu menu(::CreatePopupMenu());
  if (!menu) return 0;
  for (const TrayMenuItem& item : TrayMenuItems(languageId, nonCache, MachineSettingsWritable())) {
    const UINT flags = MF_STRING | (item.disabled ? MF_DISABLED : 0u);
    ::AppendMenuW(menu.get(), flags, item.command, LangGetString(item.text).c_str());
  }
  ::SetForegroundWindow(owner);
  return TrackMenu(menu.get(), cursor, owner);
}

std::optional<std::wstring> StoreTrayChoice(UINT command) {
  switch (command) {
    case CommandEnglish:
    case CommandVietnamese:
      return ResultText(StoreLanguageId(command == CommandEnglish ? L"1033" : L"1066"), text::kLanguageSwitched,
                        text::kLanguageSwitchFailed);
    case CommandCache:
    case CommandNonCache:
      return ResultText(StoreNonCache(command == CommandNonCache ? 1 : 0), text::kCacheSwitched,
                        text::kCacheSwitchFailed);
    default:
      return std::nullopt;
  }
}

}  // namespace tessard
