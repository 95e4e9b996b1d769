#pragma once
// Typed owners for the kernel, registry, module, icon and GDI handles the program opens, and for
// the device contexts it draws on and the objects it selects into them.

#include <windows.h>

#include "platform/unique_resource.h"

namespace tessard {

using UniqueHandle = UniqueResource<HANDLE, &::CloseHandle>;
// CreateFileW and CreateToolhelp32Snapshot report failure as INVALID_HANDLE_VALUE.
using UniqueFileHandle = UniqueResource<HANDLE, &::CloseHandle, -1>;
using UniqueRegKey = UniqueResource<HKEY, &::RegCloseKey>;
using UniqueModule = UniqueResource<HMODULE, &::FreeLibrary>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, &::DeleteObject>;
using UniqueMenu = UniqueResource<HMENU, &::DestroyMenu>;
using UniqueIcon = UniqueResource<HICON, &::DestroyIcon>;

// A window's device context from GetDC (the screen's for no window), released to the window.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
  ~WindowDc() {
    if (dc_ != nullptr) ::ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;

  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

// The device context of a window's painting, from BeginPaint to EndPaint.
class PaintDc {
 public:
  explicit PaintDc(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
  ~PaintDc() { ::EndPaint(window_, &paint_); }
  PaintDc(const PaintDc&) = delete;
  PaintDc& operator=(const PaintDc&) = delete;

  HDC get() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_;
  HDC dc_;
};

// An object selected into a device context; the object it replaced is selected again at the end,
// so that the context never holds an object after its owner deleted it.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
  ~SelectedObject() {
    if (previous_ != nullptr) ::SelectObject(dc_, previous_);
  }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace tessard
