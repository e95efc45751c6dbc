#include "platform/win32/ui/artwork.h"

#include <cmath>
#include <numbers>
#include <string_view>
#include <vector>

#include "resources/ids.h"

namespace kolvane::win32 {

namespace {

constexpr COLORREF kGrey = RGB(203, 203, 203);
constexpr COLORREF kDarkRed = RGB(128, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);

// A memory DC drawing into a new 24-bit bitmap; Release hands the bitmap over.
class Canvas {
 public:
  Canvas(int w, int h, COLORREF fill) : w_(w), h_(h) {
    HDC screen = GetDC(nullptr);
    dc_ = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, screen);
    old_ = SelectObject(dc_, bitmap_);
    Fill(fill);
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  HDC Dc() const { return dc_; }
  void Fill(COLORREF c) {
    const RECT r{0, 0, w_, h_};
    HBRUSH b = CreateSolidBrush(c);
    FillRect(dc_, &r, b);
    DeleteObject(b);
  }
  // A line with both ends drawn.
  void Line(int x0, int y0, int x1, int y1, COLORREF c) {
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i <= steps; ++i) {
      const int x = steps == 0 ? x0 : x0 + (x1 - x0) * i / steps;
      const int y = steps == 0 ? y0 : y0 + (y1 - y0) * i / steps;
      SetPixel(dc_, x, y, c);
    }
  }
  HBITMAP Release() {
    SelectObject(dc_, old_);
    HBITMAP b = bitmap_;
    bitmap_ = nullptr;
    old_ = SelectObject(dc_, GetStockObject(BLACK_PEN));
    return b;
  }

 private:
  int w_;
  int h_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// Selects a GDI object for one scope and deletes it after.
class Selected {
 public:
  Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object), old_(SelectObject(dc, object)) {}
  ~Selected() {
    SelectObject(dc_, old_);
    DeleteObject(object_);
  }
  Selected(const Selected&) = delete;
  Selected& operator=(const Selected&) = delete;

 private:
  HDC dc_;
  HGDIOBJ object_;
  HGDIOBJ old_;
};

HFONT BoldFont(int pixels) {
  return CreateFontW(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                     VARIABLE_PITCH | FF_SWISS, L"Arial");
}

// The largest bold face that fits the box.
HFONT FittingFont(HDC dc, std::wstring_view text, int width, int height) {
  for (int px = height; px > 4; --px) {
    HFONT f = BoldFont(px);
    HGDIOBJ old = SelectObject(dc, f);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    if (size.cx <= width && tm.tmHeight <= height + 2) return f;
    DeleteObject(f);
  }
  return BoldFont(5);
}

void DrawTextIn(HDC dc, std::wstring_view text, RECT box, int width, int height, UINT format) {
  const Selected font(dc, FittingFont(dc, text, width, height));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kDarkRed);
  DrawTextW(dc, text.data(), static_cast<int>(text.size()), &box, format | DT_SINGLELINE);
}

HBITMAP Lettering(int w, int h, std::wstring_view text) {
  Canvas c(w, h, kGrey);
  DrawTextIn(c.Dc(), text, RECT{0, 0, w, h}, w - 1, h, DT_LEFT | DT_VCENTER);
  return c.Release();
}

// A few periods of a sine wave across the box.
std::vector<POINT> Wave(double left, double top, double width, double height, double periods) {
  std::vector<POINT> points;
  const int steps = 48;
  for (int i = 0; i <= steps; ++i) {
    const double t = static_cast<double>(i) / steps;
    const double x = left + t * width;
    const double y = top + height / 2 - std::sin(t * periods * 2 * std::numbers::pi) * height / 2;
    points.push_back(POINT{static_cast<LONG>(std::lround(x)), static_cast<LONG>(std::lround(y))});
  }
  return points;
}

// A quadratic curve as the cubic that GDI draws.
void QuadTo(std::vector<POINT>& bezier, POINT from, POINT control, POINT to) {
  const auto third = [](LONG a, LONG c) { return static_cast<LONG>(a + (2 * (c - a)) / 3); };
  bezier.push_back(POINT{third(from.x, control.x), third(from.y, control.y)});
  bezier.push_back(POINT{third(to.x, control.x), third(to.y, control.y)});
  bezier.push_back(to);
}

HBITMAP Emblem() {
  Canvas c(32, 36, kGrey);
  HDC dc = c.Dc();
  {
    const Selected pen(dc, CreatePen(PS_SOLID, 1, kBlack));
    const Selected brush(dc, CreateSolidBrush(kDarkRed));
    std::vector<POINT> curve;
    QuadTo(curve, POINT{30, 22}, POINT{30, 30}, POINT{16, 34});
    QuadTo(curve, POINT{16, 34}, POINT{2, 30}, POINT{2, 22});
    BeginPath(dc);
    MoveToEx(dc, 2, 2, nullptr);
    LineTo(dc, 30, 2);
    LineTo(dc, 30, 22);
    PolyBezierTo(dc, curve.data(), static_cast<DWORD>(curve.size()));
    CloseFigure(dc);
    EndPath(dc);
    StrokeAndFillPath(dc);
  }
  {
    const Selected pen(dc, CreatePen(PS_SOLID, 2, kGrey));
    const std::vector<POINT> wave = Wave(6, 7, 20, 12, 1.5);
    Polyline(dc, wave.data(), static_cast<int>(wave.size()));
  }
  for (int x = 9; x <= 23; x += 7) c.Line(x, 23, x, 27, kWhite);
  return c.Release();
}

HBITMAP Title() {
  Canvas c(272, 48, kGrey);
  DrawTextIn(c.Dc(), L"ЭЛЕКТРОННО-СЧЕТНЫЙ ЧАСТОТОМЕР", RECT{0, 2, 272, 24}, 268, 20,
             DT_CENTER | DT_VCENTER);
  DrawTextIn(c.Dc(), L"Kolvane", RECT{0, 25, 272, 46}, 268, 18, DT_CENTER | DT_VCENTER);
  return c.Release();
}

// A signal edge in a 7 x 10 box: low, step, high (rising) or the reverse.
HBITMAP Edge(bool rising) {
  Canvas c(7, 10, kGrey);
  const int low = 8, high = 1;
  const int first = rising ? low : high;
  const int second = rising ? high : low;
  c.Line(0, first, 3, first, kBlack);
  c.Line(3, first, 3, second, kBlack);
  c.Line(3, second, 6, second, kBlack);
  // An arrow head on the step shows the direction.
  const int tip = rising ? 3 : 6;
  const int dir = rising ? 1 : -1;
  SetPixel(c.Dc(), 2, tip + dir, kBlack);
  SetPixel(c.Dc(), 4, tip + dir, kBlack);
  return c.Release();
}

// The counter seen from the front: a case, its display and a wave on it.
// ink draws the picture; without it only the case's outline is filled (the mask).
void DrawIcon(HDC dc, int size, bool ink) {
  const double s = size / 32.0;
  const auto px = [s](double v) { return static_cast<int>(std::lround(v * s)); };
  const int radius = std::max(2, px(4));
  {
    const Selected pen(dc, CreatePen(PS_SOLID, 1, kBlack));
    const Selected brush(dc, CreateSolidBrush(ink ? kGrey : kBlack));
    RoundRect(dc, 1, 4, size - 1, size - 4, radius, radius);
  }
  if (!ink) return;
  {
    const Selected pen(dc, CreatePen(PS_SOLID, 1, kBlack));
    const Selected brush(dc, CreateSolidBrush(kBlack));
    Rectangle(dc, px(4), px(8), px(28) + 1, px(19) + 1);
  }
  {
    const Selected pen(dc, CreatePen(PS_SOLID, size >= 32 ? 2 : 1, RGB(255, 0, 0)));
    const std::vector<POINT> wave = Wave(6 * s, 10 * s, 20 * s, 7 * s, 2);
    Polyline(dc, wave.data(), static_cast<int>(wave.size()));
  }
  const Selected pen(dc, CreatePen(PS_SOLID, 1, kDarkRed));
  const Selected brush(dc, CreateSolidBrush(kDarkRed));
  for (int i = 0; i < 3; ++i) {
    const double x = (6 + 8 * i) * s;
    const double y = 21.5 * s;
    Ellipse(dc, static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)),
            static_cast<int>(std::lround(x + 4 * s)), static_cast<int>(std::lround(y + 4 * s)));
  }
}

}  // namespace

HBITMAP CreatePicture(int resourceId) {
  switch (resourceId) {
    case ids::kEmblemPicture:
      return Emblem();
    case ids::kTitlePicture:
      return Title();
    case ids::kNamePictureLeft:
      return Lettering(31, 12, L"Kol");
    case ids::kNamePictureRight:
      return Lettering(53, 12, L"vane");
    case ids::kRisingEdgePicture:
      return Edge(true);
    case ids::kFallingEdgePicture:
      return Edge(false);
    default:
      return nullptr;
  }
}

HICON CreatePanelIcon(int size) {
  // Colour on black where the mask is clear; the mask is set (see-through)
  // outside the case.
  Canvas colour(size, size, kBlack);
  DrawIcon(colour.Dc(), size, true);
  Canvas shape(size, size, kWhite);
  DrawIcon(shape.Dc(), size, false);

  HBITMAP colourBits = colour.Release();
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, mask);
  BitBlt(dc, 0, 0, size, size, shape.Dc(), 0, 0, SRCCOPY);
  SelectObject(dc, old);
  DeleteDC(dc);

  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmMask = mask;
  info.hbmColor = colourBits;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(mask);
  DeleteObject(colourBits);
  return icon;
}

HICON PanelIcon(bool big) {
  static const HICON bigIcon = CreatePanelIcon(32);
  static const HICON smallIcon = CreatePanelIcon(16);
  return big ? bigIcon : smallIcon;
}

}  // namespace kolvane::win32
