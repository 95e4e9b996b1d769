#include "tests/win/icon_probe.h"

#include "platform/handles.h"
#include "resources/resource.h"

namespace tessard::testing {

IconImage ImageOf(HICON icon) {
  ICONINFO info{};
  if (!::GetIconInfo(icon, &info)) return {};
  const UniqueGdiObject colour(info.hbmColor);
  const UniqueGdiObject mask(info.hbmMask);
  BITMAP bitmap{};
  ::GetObjectW(colour.get(), sizeof bitmap, &bitmap);
  IconImage image{bitmap.bmWidth, bitmap.bmHeight, std::vector<uint32_t>(bitmap.bmWidth * bitmap.bmHeight)};
  BITMAPINFOHEADER format{};
  format.biSize = sizeof format;
  format.biWidth = image.width;
  format.biHeight = -image.height;  // the top row first
  format.biPlanes = 1;
  format.biBitCount = 32;
  const WindowDc screen(nullptr);
  ::GetDIBits(screen.get(), static_cast<HBITMAP>(colour.get()), 0, image.height, image.pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&format), DIB_RGB_COLORS);
  return image;
}

IconImage EntryOf(int resource, int size) {
  const HMODULE module = ::GetModuleHandleW(nullptr);
  const HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(resource), RT_GROUP_ICON);
  const int id = ::LookupIconIdFromDirectoryEx(static_cast<BYTE*>(::LockResource(::LoadResource(module, group))), TRUE,
                                               size, size, LR_DEFAULTCOLOR);
  const HRSRC entry = ::FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON);
  // No size asked: the entry's own.
  const UniqueIcon icon(::CreateIconFromResourceEx(static_cast<BYTE*>(::LockResource(::LoadResource(module, entry))),
                                                   ::SizeofResource(module, entry), TRUE, 0x00030000, 0, 0,
                                                   LR_DEFAULTCOLOR));
  return ImageOf(icon.get());
}

int TrayResourceOf(HICON icon) {
  const IconImage image = ImageOf(icon);
  for (int resource : {IDI_TOKEN, IDI_TOKEN_BUSY1, IDI_TOKEN_BUSY2}) {
    if (!image.pixels.empty() && image == EntryOf(resource, ::GetSystemMetrics(SM_CXSMICON))) return resource;
  }
  return 0;
}

}  // namespace tessard::testing
