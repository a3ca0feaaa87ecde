#include "common/core/der.h"

#include <algorithm>
#include <cstdlib>

namespace korva::der {

namespace {

void AppendLength(Bytes& out, size_t length) {
  if (length < 0x80) {
    out.push_back(static_cast<std::uint8_t>(length));
    return;
  }
  Bytes digits;
  for (size_t rest = length; rest != 0; rest >>= 8) {
    digits.push_back(static_cast<std::uint8_t>(rest & 0xFF));
  }
  out.push_back(static_cast<std::uint8_t>(0x80 | digits.size()));
  out.insert(out.end(), digits.rbegin(), digits.rend());
}

void AppendBase128(Bytes& out, unsigned long long value) {
  std::uint8_t groups[10];
  int count = 0;
  do {
    groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

void AppendDigits(std::string& text, int value, int width) {
  std::string digits = std::to_string(value);
  if (digits.size() < static_cast<size_t>(width)) {
    text.append(static_cast<size_t>(width) - digits.size(), '0');
  }
  text += digits;
}

Bytes Retagged(std::uint8_t tag, const Bytes& element) {
  Bytes out = element;
  if (!out.empty()) out[0] = tag;
  return out;
}

}  // namespace

Bytes Element(std::uint8_t tag, const Bytes& content) {
  Bytes out;
  out.reserve(content.size() + 6);
  out.push_back(tag);
  AppendLength(out, content.size());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Sequence(std::initializer_list<Bytes> parts) { return Element(kSequence, Join(parts)); }

Bytes Sequence(const std::vector<Bytes>& parts) {
  Bytes content;
  for (const Bytes& part : parts) content.insert(content.end(), part.begin(), part.end());
  return Element(kSequence, content);
}

Bytes SetOf(std::vector<Bytes> elements) {
  // X.690 11.6: by their encodings, the shorter one padded with zeros at its end; a plain
  // lexicographic order of the bytes agrees with that but for a prefix, where the shorter
  // comes first in both.
  std::sort(elements.begin(), elements.end());
  Bytes content;
  for (const Bytes& element : elements)
    content.insert(content.end(), element.begin(), element.end());
  return Element(kSet, content);
}

Bytes Explicit(int number, const Bytes& element) {
  return Element(static_cast<std::uint8_t>(0xA0 | number), element);
}

Bytes ImplicitConstructed(int number, const Bytes& element) {
  return Retagged(static_cast<std::uint8_t>(0xA0 | number), element);
}

Bytes ImplicitPrimitive(int number, const Bytes& element) {
  return Retagged(static_cast<std::uint8_t>(0x80 | number), element);
}

Bytes ObjectId(const char* dotted) {
  std::vector<unsigned long long> arcs;
  const char* at = dotted;
  while (*at) {
    char* end = nullptr;
    arcs.push_back(std::strtoull(at, &end, 10));
    at = *end == '.' ? end + 1 : end;
  }
  Bytes content;
  if (arcs.size() >= 2) {
    AppendBase128(content, arcs[0] * 40 + arcs[1]);
    for (size_t i = 2; i < arcs.size(); ++i) AppendBase128(content, arcs[i]);
  }
  return Element(kObjectIdentifier, content);
}

Bytes Integer(std::int64_t value) {
  // Two's complement, big-endian, in as few bytes as keep the sign.
  Bytes content;
  for (int shift = 56; shift >= 0; shift -= 8) {
    content.push_back(
        static_cast<std::uint8_t>((static_cast<std::uint64_t>(value) >> shift) & 0xFF));
  }
  size_t start = 0;
  while (start + 1 < content.size() &&
         ((content[start] == 0x00 && (content[start + 1] & 0x80) == 0) ||
          (content[start] == 0xFF && (content[start + 1] & 0x80) != 0))) {
    ++start;
  }
  return Element(kInteger,
                 Bytes(content.begin() + static_cast<std::ptrdiff_t>(start), content.end()));
}

Bytes UnsignedInteger(const Bytes& bigEndian) {
  size_t start = 0;
  while (start < bigEndian.size() && bigEndian[start] == 0) ++start;
  Bytes content;
  if (start == bigEndian.size() || (bigEndian[start] & 0x80) != 0) content.push_back(0);
  content.insert(content.end(), bigEndian.begin() + static_cast<std::ptrdiff_t>(start),
                 bigEndian.end());
  return Element(kInteger, content);
}

Bytes Boolean(bool value) {
  return Element(kBoolean, {static_cast<std::uint8_t>(value ? 0xFF : 0)});
}

Bytes Null() { return Element(kNull, {}); }

Bytes OctetString(const Bytes& content) { return Element(kOctetString, content); }

Bytes BitString(const Bytes& content) {
  Bytes withUnused(content.size() + 1, 0);  // the first byte: no unused bits
  std::copy(content.begin(), content.end(), withUnused.begin() + 1);
  return Element(kBitString, withUnused);
}

Bytes Utf8String(const std::string& text) {
  return Element(kUtf8String, Bytes(text.begin(), text.end()));
}

Bytes BmpString(const std::u16string& text) {
  Bytes content;
  content.reserve(text.size() * 2);
  for (char16_t unit : text) {
    content.push_back(static_cast<std::uint8_t>(unit >> 8));
    content.push_back(static_cast<std::uint8_t>(unit & 0xFF));
  }
  return Element(kBmpString, content);
}

Bytes Time(const UtcTime& time) {
  bool utc = time.year >= 1950 && time.year <= 2049;
  std::string text;
  if (utc) {
    AppendDigits(text, time.year % 100, 2);
  } else {
    AppendDigits(text, time.year, 4);
  }
  AppendDigits(text, time.month, 2);
  AppendDigits(text, time.day, 2);
  AppendDigits(text, time.hour, 2);
  AppendDigits(text, time.minute, 2);
  AppendDigits(text, time.second, 2);
  text += 'Z';
  return Element(utc ? kUtcTime : kGeneralizedTime, Bytes(text.begin(), text.end()));
}

Bytes AlgorithmWithNull(const char* dotted) { return Sequence({ObjectId(dotted), Null()}); }

bool ContentOf(const Bytes& element, Bytes& content) {
  if (element.size() < 2) return false;
  size_t at = 1;
  size_t length = element[at++];
  if (length & 0x80) {
    size_t digits = length & 0x7F;
    if (digits == 0 || digits > sizeof(size_t) || at + digits > element.size()) return false;
    length = 0;
    for (size_t i = 0; i < digits; ++i) length = (length << 8) | element[at++];
  }
  if (length > element.size() - at) return false;
  content.assign(element.begin() + static_cast<std::ptrdiff_t>(at),
                 element.begin() + static_cast<std::ptrdiff_t>(at + length));
  return true;
}

std::string HexText(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::u16string Utf16FromAscii(const std::string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    out.push_back(byte < 0x80 ? static_cast<char16_t>(byte) : u'?');
  }
  return out;
}

Bytes Utf16LeBytes(const std::u16string& text, bool terminated) {
  Bytes out;
  out.reserve((text.size() + 1) * 2);
  for (char16_t unit : text) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  if (terminated) {
    out.push_back(0);
    out.push_back(0);
  }
  return out;
}

}  // namespace korva::der
