#pragma once
// The modal warning that a certificate on the token expires soon or has expired.

#include <string>

#include "app/dialog_base.h"
#include "resources/resource.h"

namespace tessard {

class CCertExpired : public DialogBase {
 public:
  INT_PTR DoModal(HWND owner) { return DialogBase::DoModal(IDD_CERT_EXPIRED, owner); }

 protected:
  BOOL OnInitDialog() override;

 private:
  void FitMessage();
  void PlaceOnScreen();

  std::wstring m_strMessage;
};

}  // namespace tessard
