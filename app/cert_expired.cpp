#include "app/cert_expired.h"

#include "app/layout.h"
#include "localisation/format_text.h"
#include "localisation/lang.h"

namespace tessard {

BOOL CCertExpired::OnInitDialog() {
  LangLocaliseWindow(Window(), IDD_CERT_EXPIRED);
  m_strMessage = FormatText(LangGetString(text::kCertificateExpires));
  ::SetWindowTextW(Window(), L"Orvane-CA Token Manager");
  PlaceOnScreen();
  ::SetDlgItemTextW(Window(), IDOK, LangGetString(text::kOk).c_str());
  ::SetDlgItemTextW(Window(), IDC_EXPIRED_MESSAGE, m_strMessage.c_str());
  return TRUE;
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
