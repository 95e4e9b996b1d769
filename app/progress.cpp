// Progress of long operations on the token: the busy animation and its notifications.

#include "app/main_dialog.h"
#include "localisation/format_text.h"
#include "localisation/lang.h"

namespace tessard {

namespace {

// The item a save event names, localised; empty for an unknown datum.
std::wstring SavedItemName(uint32_t datum) {
  switch (datum) {
    case 1:
      return LangGetString(10004, L"Certificate");
    case 2:
      return LangGetString(10002, L"Public Key");
    case 3:
      return LangGetString(10003, L"Private Key");
    default:
      return {};
  }
}

}  // namespace

void CTessardDlg::OnSaveProgress(CK_SLOT_ID, uint32_t code, uint32_t datum) {
  const std::wstring item = SavedItemName(datum);
  switch (code) {
    case 256:
      StartBusy();
      break;
    case 257:
      StopBusy();
      break;
    case 259:
      StartBusy();
      if (!item.empty()) ShowBalloon(FormatText(LangGetString(10005, L"Saving %s, please wait..."), {item}), 10);
      break;
    case 260:
      StopBusy();
      if (!item.empty()) ShowBalloon(FormatText(LangGetString(10006, L"%s is saved successfully!"), {item}), 10);
      break;
    case 261:
      StopBusy();
      if (!item.empty()) ShowBalloon(FormatText(LangGetString(10007, L"Failed to save %s!"), {item}), 10);
      break;
    default:
      break;
  }
}

void CTessardDlg::OnKeyPairProgress(CK_SLOT_ID, uint32_t code) {
  if (code == 262) {
    StartBusy();
    ShowBalloon(LangGetString(10008, L"Generating key pair, please wait..."), 10);
  } else if (code == 263) {
    ShowBalloon(LangGetString(10009, L"Generated key pair successfully!"), 10);
    StopBusy();
  } else if (code == 264) {
    ShowBalloon(LangGetString(10010, L"Failed to generated key pair!"), 10);
    StopBusy();
  }
}

void CTessardDlg::OnLowLevelInitProgress(CK_SLOT_ID slot, uint32_t code) {
  if (code == 265) {
    StartBusy();
    ShowBalloon(LangGetString(10011, L"Low level initializing the USBKey, please wait..."), 10);
    return;
  }
  if (code == 266) {
    ShowBalloon(LangGetString(10012, L"USBKey is Low level initialized successfully!"), 10);
  } else {
    ShowBalloon(LangGetString(10013, L"Failed to low loevel initialize USBKey!"), 10);
  }
  StopBusy();
  m_token.UnregisterSlotCertificates(slot, true);
}

void CTessardDlg::OnInitProgress(CK_SLOT_ID, uint32_t code) {
  if (code == 268) {
    StartBusy();
    ShowBalloon(LangGetString(10014, L"initializing the USBKey, please wait..."), 10);
  } else if (code == 269) {
    ShowBalloon(LangGetString(10015, L"USBKey is initialized successfully!"), 10);
    StopBusy();
  } else {
    ShowBalloon(LangGetString(10016, L"Failed to initialize USBKey!"), 10);
    StopBusy();
  }
}

}  // namespace tessard
