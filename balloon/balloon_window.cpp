#include "balloon/balloon_window.h"

#include <cwchar>
#include <string_view>
#include <vector>

#include "balloon/balloon_layout.h"
#include "localisation/lang.h"
#include "platform/handles.h"

namespace tessard {

HWND balloonWindow = nullptr;

namespace {

constexpr wchar_t kClassName[] = L"BALLOON0A3D5CFF-EDE3-4c4f-8867-56606E5C6F47";
constexpr COLORREF kFaceColour = RGB(255, 255, 225);
constexpr UINT_PTR kTickTimer = 1;
constexpr UINT kTickMs = 1000;
constexpr LONG kFontHeight = -12;

// Process-wide, as the window is: one balloon per process.
wchar_t balloonText[kBalloonTextCapacity] = {};
int balloonCountdown = 0;
int languageNumber = 0;

struct DrawingObjects {
  UniqueGdiObject face;
  UniqueGdiObject outline;
  UniqueGdiObject font;
};
DrawingObjects drawing;

UniqueGdiObject MakeFont() {
  LOGFONTW font{};
  font.lfHeight = kFontHeight;
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
std::vector<BalloonExtent> MeasureLines(HDC dc, std::wstring_view text) {
  std::vector<BalloonExtent> extents;
  for (std::wstring_view line : BalloonLines(text)) {
    SIZE size{};
    ::GetTextExtentPoint32W(dc, line.data(), static_cast<int>(line.size()), &size);
    extents.push_back({size.cx, size.cy});
  }
  return extents;
}

void Paint(HWND window) {
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(window, &paint);
  RECT client;
  ::GetClientRect(window, &client);
  const int previousMode = ::SetBkMode(dc, TRANSPARENT);
  const HGDIOBJ previousPen = ::SelectObject(dc, drawing.outline.get());
  const HGDIOBJ previousBrush = ::SelectObject(dc, drawing.face.get());
  const std::vector<POINT> outline = ToPoints(BalloonOutlinePoints({client.right, client.bottom}));
  ::Polygon(dc, outline.data(), static_cast<int>(outline.size()));
  const HGDIOBJ previousFont = ::SelectObject(dc, drawing.font.get());
  RECT textArea{kBalloonMarginLeft, kBalloonMarginTop, client.right, client.bottom};
  ::DrawTextW(dc, balloonText, -1, &textArea, DT_WORDBREAK);
  ::SelectObject(dc, previousFont);
  ::SelectObject(dc, previousBrush);
  ::SelectObject(dc, previousPen);
  ::SetBkMode(dc, previousMode);
  ::EndPaint(window, &paint);
}

LRESULT CALLBACK BalloonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      drawing.face.reset(::CreateSolidBrush(kFaceColour));
      drawing.outline.reset(::CreatePen(PS_INSIDEFRAME, 1, RGB(0, 0, 0)));
      drawing.font = MakeFont();
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
  const HDC dc = ::GetDC(balloonWindow);
  const HGDIOBJ previousFont = ::SelectObject(dc, drawing.font.get());
  const std::vector<BalloonExtent> lines = MeasureLines(dc, balloonText);
  ::SelectObject(dc, previousFont);
  ::ReleaseDC(balloonWindow, dc);
  const BalloonExtent size = BalloonSize(lines);
  const BalloonRect place = BalloonPlace(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN), size);
  const std::vector<POINT> region = ToPoints(BalloonRegionPoints(size));
  ::ShowWindow(balloonWindow, SW_HIDE);
  ::MoveWindow(balloonWindow, place.left, place.top, place.width, place.height, TRUE);
  // The window owns the region from here on.
  ::SetWindowRgn(balloonWindow, ::CreatePolygonRgn(region.data(), static_cast<int>(region.size()), WINDING), TRUE);
  ::ShowWindow(balloonWindow, SW_SHOWNA);
  ::UpdateWindow(balloonWindow);
}

}  // namespace tessard
