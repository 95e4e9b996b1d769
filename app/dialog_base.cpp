#include "app/dialog_base.h"

namespace tessard {

namespace {

// The few messages whose result a dialog procedure returns directly instead of through
// DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

}  // namespace

HINSTANCE ResourceModule() { return ::GetModuleHandleW(nullptr); }

DialogBase::~DialogBase() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

bool DialogBase::Create(int templateId, HWND parent) {
  return ::CreateDialogParamW(ResourceModule(), MAKEINTRESOURCEW(templateId), parent, &DialogBase::DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

INT_PTR DialogBase::DoModal(int templateId, HWND owner) {
  return ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId), owner, &DialogBase::DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

void DialogBase::RunModalLoop() {
  MSG message;
  while (window_ != nullptr && ::GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window_ != nullptr && ::IsDialogMessageW(window_, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
}

bool DialogBase::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  if (message != WM_COMMAND) return false;
  switch (LOWORD(wParam)) {
    case IDOK:
      OnOK();
      break;
    case IDCANCEL:
      OnCancel();
      break;
    default:
      return false;
  }
  result = 0;
  return true;
}

INT_PTR CALLBACK DialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<DialogBase*>(lParam);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self->OnInitDialog();
  }
  auto* self = reinterpret_cast<DialogBase*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_ = nullptr;
    return FALSE;
  }
  LRESULT result = 0;
  if (!self->HandleMessage(message, wParam, lParam, result)) return FALSE;
  if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
  // The window may be gone by now (a handler destroyed it); then there is no result slot.
  if (::IsWindow(window)) ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace tessard
