#pragma once
// A dialog made from a template, with its messages routed to virtual members. The object
// lives in the window's GWLP_USERDATA from WM_INITDIALOG until WM_NCDESTROY.

#include <windows.h>

namespace tessard {

class DialogBase {
 public:
  DialogBase() = default;
  virtual ~DialogBase();
  DialogBase(const DialogBase&) = delete;
  DialogBase& operator=(const DialogBase&) = delete;

  HWND Window() const { return window_; }

  // Modeless: the window exists when this returns true; OnInitDialog has already run.
  bool Create(int templateId, HWND parent);
  // Modal: returns the value passed to EndDialog, or -1 when the dialog was not made.
  INT_PTR DoModal(int templateId, HWND owner);
  // Pumps the thread's messages until this modeless dialog's window is destroyed.
  void RunModalLoop();

 protected:
  virtual BOOL OnInitDialog() { return TRUE; }
  // True when the message is handled; `result` is then its result. Unhandled messages get
  // the default dialog processing.
  virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
  virtual void OnOK() { ::EndDialog(window_, IDOK); }
  virtual void OnCancel() { ::EndDialog(window_, IDCANCEL); }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_ = nullptr;
};

// The module whose resources the program's windows are made from.
HINSTANCE ResourceModule();

}  // namespace tessard
