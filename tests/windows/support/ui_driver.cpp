#include "support/ui_driver.h"

#include <cstdint>
#include <cstdio>
#include <deque>

#include <gtest/gtest.h>

#include "common/unique_resource.h"
#include "support/wine_test_env.h"

namespace korva::testing {

namespace {

struct QueuedStep {
  UiStep run;
  // May run while an earlier step is still running: it is meant for a modal window that step
  // opened. Other steps wait until the running one returns, also when the step pumps messages.
  bool nested = false;
};

std::deque<QueuedStep>& Steps() {
  static std::deque<QueuedStep> steps;
  return steps;
}
UINT_PTR timer = 0;
int running = 0;

// What WhenShown makes: a step for a window that an earlier, still running step opened.
struct NestedStep {
  std::function<void()> body;
  void operator()() const { body(); }
};

bool IsNested(const UiStep& step) { return step.target<NestedStep>() != nullptr; }

void CALLBACK RunNextStep(HWND, UINT, UINT_PTR, DWORD) {
  if (Steps().empty()) {
    KillTimer(nullptr, timer);
    timer = 0;
    return;
  }
  if (running > 0 && !Steps().front().nested) return;
  QueuedStep step = std::move(Steps().front());
  Steps().pop_front();
  ++running;
  step.run();
  --running;
}

// PNG, stored without compression: enough for screenshots, and needs no library.
uint32_t Crc32(const std::string& data) {
  static uint32_t table[256];
  static bool made = false;
  if (!made) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    made = true;
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

void PutBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  std::string typed = std::string(type, 4) + data;
  out += typed;
  PutBigEndian(out, Crc32(typed));
}

std::string EncodePng(int width, int height, const std::string& rgbRows) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(width));
  PutBigEndian(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB
  PutChunk(png, "IHDR", header);

  std::string zlib("\x78\x01", 2);
  uint32_t a = 1, b = 0;
  for (unsigned char byte : rgbRows) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  for (size_t at = 0; at < rgbRows.size() || at == 0;) {
    size_t length = std::min<size_t>(65535, rgbRows.size() - at);
    bool last = at + length >= rgbRows.size();
    zlib += static_cast<char>(last ? 1 : 0);
    zlib += static_cast<char>(length & 0xFF);
    zlib += static_cast<char>(length >> 8);
    zlib += static_cast<char>(~length & 0xFF);
    zlib += static_cast<char>((~length >> 8) & 0xFF);
    zlib.append(rgbRows, at, length);
    at += length;
    if (last) break;
  }
  PutBigEndian(zlib, (b << 16) | a);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

}  // namespace

void ScheduleSteps(std::vector<UiStep> steps, UINT intervalMs) {
  for (UiStep& step : steps) {
    bool nested = IsNested(step);
    Steps().push_back({std::move(step), nested});
  }
  if (!timer) timer = SetTimer(nullptr, 0, intervalMs, RunNextStep);
}

namespace {

UiStep WhenShownAttempt(const std::string& title, std::function<void(HWND)> then, int attempt) {
  return NestedStep{[=] {
    HWND window = FindOwnWindow(title);
    if (window && IsWindowVisible(window)) {
      then(window);
      return;
    }
    if (attempt > 5000 / 30) {
      ADD_FAILURE() << "no window \"" << title << "\" was shown";
      return;
    }
    // Again at the next tick, before the steps behind it.
    Steps().push_front({WhenShownAttempt(title, then, attempt + 1), true});
  }};
}

}  // namespace

UiStep WhenShown(const std::string& title, std::function<void(HWND)> then) {
  return WhenShownAttempt(title, std::move(then), 0);
}

size_t StepsLeft() { return Steps().size(); }

void ClearSteps() { Steps().clear(); }

bool Click(HWND button) {
  if (!button || !IsWindowEnabled(button) || !IsWindowVisible(button)) return false;
  SendMessageA(button, BM_CLICK, 0, 0);
  return true;
}

std::string WindowText(HWND window) {
  char text[4096] = {};
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

std::string MessageBoxText(HWND box) {
  char text[4096] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
  return text;
}

namespace {

struct TitleSearch {
  const std::string* title;
  HWND found = nullptr;
};

// A named callback: the 32-bit build needs the platform's calling convention, which a lambda
// does not take.
BOOL CALLBACK MatchTitle(HWND window, LPARAM data) {
  auto* s = reinterpret_cast<TitleSearch*>(data);
  if (WindowText(window) != *s->title) return TRUE;
  s->found = window;
  return FALSE;
}

}  // namespace

HWND FindOwnWindow(const std::string& title) {
  TitleSearch search{&title};
  EnumThreadWindows(GetCurrentThreadId(), MatchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool SaveScreenshot(HWND window, const std::string& path) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  // Wine copies what was painted to the X screen a little later, when the thread looks at its
  // queue; look (without taking anything) until it has.
  for (int i = 0; i < 4; ++i) {
    Sleep(40);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  }
  // The client area: without a window manager nobody draws the frame's caption under Xvfb.
  RECT rect;
  if (!GetClientRect(window, &rect)) return false;
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  std::string rows;
  rows.reserve(static_cast<size_t>(height) * (width * 3 + 1));
  const auto* pixels = static_cast<const unsigned char*>(bits);
  for (int y = 0; y < height; ++y) {
    rows += '\0';  // no filter
    for (int x = 0; x < width; ++x) {
      const unsigned char* p = pixels + (static_cast<size_t>(y) * width + x) * 4;
      rows += static_cast<char>(p[2]);
      rows += static_cast<char>(p[1]);
      rows += static_cast<char>(p[0]);
    }
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  size_t slash = path.rfind('\\');
  if (slash != std::string::npos) CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  UniqueFile file(std::fopen(path.c_str(), "wb"));
  if (!file.Valid()) return false;
  std::string png = EncodePng(width, height, rows);
  return std::fwrite(png.data(), 1, png.size(), file.Get()) == png.size();
}

std::string ScreenshotFolder() { return BuildFolder() + "\\screenshots"; }

}  // namespace korva::testing
