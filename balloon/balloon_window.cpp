#include "balloon/balloon_window.h"

#include <cwchar>
#include <string_view>
#include <vector>

#include "balloon/balloon_layout.h"
#include "localisation/lang.h"
#include "platform/display.h"
#include "platform/dpi_rules.h"
#include "platform/handles.h"

namespace tessard {

HWND balloonWindow = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"BALLOON0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47";
constexpr COLORREF kFaceColour = RGB(255, 255, 225);
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 1000;

// Process-wide, as the window is: one balloon per process.
wchar_t balloonText[kBalloonTextCapacity] = {};
int balloonCountdown = 0;
int languageNumber = 0;

// What the window draws with, made for the display's DPI when the window is made.
struct DrawingObjects {
  int dpi = kStandardDpi;
  UniqueGdiObject face;
  UniqueGdiObject outline;
  UniqueGdiObject font;
};
DrawingObjects drawing;

UniqueGdiObject MakeFont(int dpi) {
  LOGFONTW font{};
  // Negative: the height of the characters, not of the cell.
  font.lfHeight = -BalloonFontHeight(dpi);
  font.lfWeight = FW_NORMAL;
  font.lfOutPrecision = OUT_STRING_PRECIS;
  font.lfClipPrecision = CLIP_STROKE_PRECIS;
  font.lfQuality = PROOF_QUALITY;
  font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  std::wcsncpy(font.lfFaceName, BalloonFontFace(languageNumber), LF_FACESIZE - 1);
  return UniqueGdiObject(::CreateFontIndirectW(&font));
}

template <size_t N>
std::vector<POINT> ToPoints(const std::array<BalloonPoint, N>& points) {
  std::vector<POINT> converted;
  for (const BalloonPoint& point : points) converted.push_back({point.x, point.y});
  return converted;
}

// The extent of each line of the text in the device context's font.
std::vector<BalloonExtent> LineExtents(HDC dc, std::wstring_view text) {
  std::vector<BalloonExtent> extents;
  for (std::wstring_view line : BalloonLines(text)) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &size);
    extents.push_back({size.cx, size.cy});
  }
  return extents;
}

// The window's size for the text in its font: as its lines need, or, where that is wider than
// the screen allows (a larger font at a higher DPI), the widest balloon with the text broken at
// word ends as Paint breaks it.
BalloonExtent BalloonSizeFor(HWND window, std::wstring_view text) {
  const WindowDc dc(window);
  const SelectedObject font(dc.get(), drawing.font.get());
  const BalloonExtent size = BalloonSize(LineExtents(dc.get(), text), drawing.dpi);
  const int widest = BalloonWidest(::GetSystemMetrics(SM_CXSCREEN), drawing.dpi);
  if (size.width <= widest) return size;
  RECT area{0, 0, widest - BalloonTextOrigin(drawing.dpi).x, 0};
  ::DrawTextW(dc.get(), text.data(), static_cast<int>(text.size()), &area, DT_WORDBREAK | DT_CALCRECT);
  return BalloonBrokenSize(widest, area.bottom, drawing.dpi);
}

void Paint(HWND window) {
  const PaintDc dc(window);
  RECT client;
  ::GetClientRect(window, &client);
  const int previousMode = ::SetBkMode(dc.get(), TRANSPARENT);
  const SelectedObject pen(dc.get(), drawing.outline.get());
  const SelectedObject brush(dc.get(), drawing.face.get());
  const std::vector<POINT> outline = ToPoints(BalloonOutlinePoints({client.right, client.bottom}, drawing.dpi));
  ::Polygon(dc.get(), outline.data(), static_cast<int>(outline.size()));
  const SelectedObject font(dc.get(), drawing.font.get());
  const BalloonPoint origin = BalloonTextOrigin(drawing.dpi);
  RECT textArea{origin.x, origin.y, client.right, client.bottom};
  ::DrawTextW(dc.get(), balloonText, -1, &textArea, DT_WORDBREAK);
  ::SetBkMode(dc.get(), previousMode);
}

LRESULT CALLBACK BalloonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      drawing.face.reset(::CreateSolidBrush(kFaceColour));
      drawing.outline.reset(::CreatePen(PS_INSIDEFRAME, 1, RGB(0, 0, 0)));
      drawing.dpi = DisplayDpi();
      drawing.font = MakeFont(drawing.dpi);
      // The ticks run from creation on, shown or not.
      ::SetTimer(window, kTickTimer, kTickMs, nullptr);
      return 0;
    case WM_DESTROY:
      ::KillTimer(window, kTickTimer);
      drawing.font.reset();
      drawing.face.reset();
      drawing.outline.reset();
      return 0;
    case WM_PAINT:
      Paint(window);
      return 0;
    case WM_TIMER:
      if (balloonCountdown != 0) {
        --balloonCountdown;
      } else {
        ::ShowWindow(window, SW_HIDE);
      }
      return 0;
    case WM_LBUTTONDOWN:
      ::ShowWindow(window, SW_HIDE);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

int InitialiseBalloonFont() {
  languageNumber = LangGetCodePage();
  return languageNumber;
}

HWND CreateBalloonWindow(const RECT& rect) {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = &BalloonWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kClassName;
  // A class left from an earlier window of this process serves again.
  if (!::RegisterClassExW(&windowClass) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return nullptr;
  const HWND window =
      ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kClassName, L"", WS_POPUP, rect.left, rect.top,
                        rect.left + rect.right, rect.top + rect.bottom, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return nullptr;
  ::ShowWindow(window, SW_HIDE);
  ::UpdateWindow(window);
  return window;
}

void ShowBalloonWindow(const wchar_t* text, int seconds) {
  if (text == nullptr || *text == L'\0') {
    ::ShowWindow(balloonWindow, SW_HIDE);
    return;
  }
  std::wcsncpy(balloonText, text, kBalloonTextCapacity - 1);
  balloonText[kBalloonTextCapacity - 1] = L'\0';
  balloonCountdown = seconds;
  const BalloonExtent size = BalloonSizeFor(balloonWindow, balloonText);
  const BalloonRect place =
      BalloonPlace(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), size, drawing.dpi);
  const std::vector<POINT> region = ToPoints(BalloonRegionPoints(size, drawing.dpi));
  ::ShowWindow(balloonWindow, SW_HIDE);
  ::MoveWindow(balloonWindow, place.left, place.top, place.width, place.height, TRUE);
  // The window owns the region from here on.
  ::SetWindowRgn(balloonWindow, ::CreatePolygonRgn(region.data(), static_cast<int>(region.size()), WINDING), TRUE);
  ::ShowWindow(balloonWindow, SW_SHOWNA);
  ::UpdateWindow(balloonWindow);
}

}  // namespace tessard
