#include "platform/korvel/window_snapshot.h"

#include <cstdio>

namespace korvel {

bool SaveWindowSnapshot(HWND window, const std::string& path) {
  RECT r;
  if (window == nullptr || !::GetClientRect(window, &r)) return false;
  const int width = r.right - r.left;
  const int height = r.bottom - r.top;
  if (width <= 0 || height <= 0 || width > 8192 || height > 8192) return false;

  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;  // bottom-up rows, as a BMP file holds them
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  const DWORD imageBytes = stride * static_cast<DWORD>(height);

  HDC source = ::GetDC(window);
  HDC dc = ::CreateCompatibleDC(source);
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(source, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (source != nullptr && dc != nullptr && bitmap != nullptr && bits != nullptr) {
    HGDIOBJ old = ::SelectObject(dc, bitmap);
    ok = ::BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY) != FALSE;
    ::GdiFlush();
    ::SelectObject(dc, old);
  }
  if (source != nullptr) ::ReleaseDC(window, source);
  if (ok) {
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
    file.bfSize = file.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    FILE* f = std::fopen(path.c_str(), "wb");
    ok = f != nullptr && std::fwrite(&file, sizeof(file), 1, f) == 1 &&
         std::fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, f) == 1 &&
         std::fwrite(bits, imageBytes, 1, f) == 1;
    if (f != nullptr && std::fclose(f) != 0) ok = false;
  }
  if (bitmap != nullptr) ::DeleteObject(bitmap);
  if (dc != nullptr) ::DeleteDC(dc);
  return ok;
}

}  // namespace korvel
