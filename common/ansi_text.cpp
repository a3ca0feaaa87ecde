#include "common/ansi_text.h"

namespace korva {

bool IsAnsiLeadByte(unsigned char c) { return IsDBCSLeadByte(c) != FALSE; }

std::wstring WideFromAnsi(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string AnsiFromWide(const std::wstring& text, bool* exact) {
  if (exact) *exact = true;
  if (text.empty()) return std::string();
  // UTF-8 takes neither the flag nor a default character, and has a form for everything.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
  int size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(CP_ACP, flags, text.data(), size, nullptr, 0,
                                   utf8 ? nullptr : "?", usedDefaultOut);
  if (length <= 0) {
    if (exact) *exact = false;
    return std::string();
  }
  std::string ansi(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, flags, text.data(), size, &ansi[0], length, utf8 ? nullptr : "?",
                      usedDefaultOut);
  if (exact && usedDefault) *exact = false;
  return ansi;
}

}  // namespace korva
