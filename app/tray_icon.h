#pragma once
// The program's icon in the notification area: adding and removing it, its normal and busy
// states, the busy animation, and balloon notifications at it.

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace tessard {

inline constexpr UINT WM_TRAY_NOTIFY = WM_USER + 12;
inline constexpr UINT kTrayIconId = 128;

class TrayIcon {
 public:
  // The animation's timer on the owner window.
  static constexpr UINT_PTR kAnimationTimer = 1;
  static constexpr UINT kAnimationPeriodMs = 350;

  TrayIcon();

  void Attach(HWND owner) { owner_ = owner; }

  // The shell's answer is not waited for: the icon counts as shown from here on.
  void Add(const std::wstring& tip);
  BOOL Remove();
  // After the shell restarted: the icon again, whether or not one was shown before.
  BOOL AddAgain(const std::wstring& tip);

  // 1 normal, 2 and 3 the busy frames; nothing changes while no icon is shown.
  void SetState(uint8_t state);
  void StartBusy();
  void StopBusy();
  void Animate();

  // Dropped while no icon is shown; an empty text clears the notification showing.
  void ShowBalloon(const std::wstring& text, int seconds);

  bool IsShown() const { return shown_; }
  uint8_t State() const { return state_; }

 private:
  // State 1's icon and the busy frames', at the size the shell shows them.
  std::array<UniqueIcon, 3> icons_;
  HWND owner_ = nullptr;
  bool shown_ = false;
  uint8_t state_ = 1;
};

}  // namespace tessard
