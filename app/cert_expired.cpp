#include "app/cert_expired.h"

#include "app/layout.h"
#include "localisation/format_text.h"
#include "localisation/lang.h"
#include "platform/handles.h"

namespace tessard {

namespace {

// As the static control breaks its text.
constexpr UINT kStaticTextFormat = DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS;

// In the client coordinates of the dialog that holds the control.
RECT PlaceInDialog(HWND dialog, HWND control) {
  RECT place;
  ::GetWindowRect(control, &place);
  ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
  return place;
}

// The height the text takes at the control's width in the control's font.
int TextHeight(HWND control, const std::wstring& text) {
  RECT area;
  ::GetClientRect(control, &area);
  const WindowDc dc(control);
  const SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
  ::DrawTextW(dc.get(), text.c_str(), -1, &area, kStaticTextFormat | DT_CALCRECT);
  return area.bottom - area.top;
}

}  // namespace

BOOL CCertExpired::OnInitDialog() {
  LangLocaliseWindow(Window(), IDD_CERT_EXPIRED);
  m_strMessage = FormatText(LangGetString(text::kCertificateExpires));
  ::SetWindowTextW(Window(), L"Orvane-CA Token Manager");
  ::SetDlgItemTextW(Window(), IDOK, LangGetString(text::kOk).c_str());
  ::SetDlgItemTextW(Window(), IDC_EXPIRED_MESSAGE, m_strMessage.c_str());
  FitMessage();
  PlaceOnScreen();
  return TRUE;
}

// The template gives the message its room in dialog units, which grow with the font and the
// DPI; the text does not grow quite in step (the font's own widths at each size, a longer
// translation), so it is measured, and the dialog grows where the text needs more room.
void CCertExpired::FitMessage() {
  const HWND message = ::GetDlgItem(Window(), IDC_EXPIRED_MESSAGE);
  const RECT room = PlaceInDialog(Window(), message);
  const int growth = ExpiryMessageGrowth(room.bottom - room.top, TextHeight(message, m_strMessage));
  if (growth == 0) return;
  for (HWND child = ::GetWindow(Window(), GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    const RECT place = PlaceInDialog(Window(), child);
    const int shift = child == message ? 0 : ExpiryControlShift(place.top, room.bottom, growth);
    const int height = place.bottom - place.top + (child == message ? growth : 0);
    ::MoveWindow(child, place.left, place.top + shift, place.right - place.left, height, FALSE);
  }
  RECT frame;
  ::GetWindowRect(Window(), &frame);
  ::SetWindowPos(Window(), nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top + growth,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CCertExpired::PlaceOnScreen() {
  RECT frame;
  ::GetWindowRect(Window(), &frame);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const WindowPlace place =
      ExpiryDialogPlace(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), width, height);
  ::MoveWindow(Window(), place.x, place.y, width, height, FALSE);
  ::SetWindowPos(Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

}  // namespace tessard
