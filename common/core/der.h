// Writing ASN.1 values in their distinguished encoding (DER), as certificates and signed
// messages need them. Only what the kit's driver packages use. Platform-free.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace korva::der {

using Bytes = std::vector<std::uint8_t>;

// Universal tags.
constexpr std::uint8_t kBoolean = 0x01;
constexpr std::uint8_t kInteger = 0x02;
constexpr std::uint8_t kBitString = 0x03;
constexpr std::uint8_t kOctetString = 0x04;
constexpr std::uint8_t kNull = 0x05;
constexpr std::uint8_t kObjectIdentifier = 0x06;
constexpr std::uint8_t kUtf8String = 0x0C;
constexpr std::uint8_t kUtcTime = 0x17;
constexpr std::uint8_t kGeneralizedTime = 0x18;
constexpr std::uint8_t kBmpString = 0x1E;
constexpr std::uint8_t kSequence = 0x30;
constexpr std::uint8_t kSet = 0x31;

// A calendar time in UTC.
struct UtcTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// One element: the tag, the length in its shortest form, the content.
Bytes Element(std::uint8_t tag, const Bytes& content);
// The parts one after another.
Bytes Join(std::initializer_list<Bytes> parts);
Bytes Sequence(std::initializer_list<Bytes> parts);
Bytes Sequence(const std::vector<Bytes>& parts);
// A SET OF: its elements in the order of their encodings, as DER requires (verifiers that
// encode a set again, as they do for signed attributes, sort it).
Bytes SetOf(std::vector<Bytes> elements);
// [n] EXPLICIT: the element wrapped in a constructed context tag.
Bytes Explicit(int number, const Bytes& element);
// [n] IMPLICIT of a constructed element (SET OF, SEQUENCE): its tag replaced by the context
// tag.
Bytes ImplicitConstructed(int number, const Bytes& element);
// [n] IMPLICIT of a primitive element (a string): its tag replaced by the context tag.
Bytes ImplicitPrimitive(int number, const Bytes& element);

// A dotted object identifier such as "1.2.840.113549.1.7.2". The text must be valid (at least
// two arcs, digits only); it is a constant of ours, never outside data.
Bytes ObjectId(const char* dotted);
Bytes Integer(std::int64_t value);
// A non-negative integer given as big-endian bytes: leading zeros dropped, a zero put in front
// when the top bit is set.
Bytes UnsignedInteger(const Bytes& bigEndian);
Bytes Boolean(bool value);
Bytes Null();
Bytes OctetString(const Bytes& content);
// A bit string of whole bytes (no unused bits).
Bytes BitString(const Bytes& content);
Bytes Utf8String(const std::string& text);
// UTF-16 big-endian code units, as BMPString holds them.
Bytes BmpString(const std::u16string& text);
// UTCTime for the years 1950 to 2049, GeneralizedTime for the others (RFC 5280).
Bytes Time(const UtcTime& time);
// An AlgorithmIdentifier with NULL parameters.
Bytes AlgorithmWithNull(const char* dotted);

// The content of the element at the start of `element`: without its tag and length. False when
// it is no complete element.
bool ContentOf(const Bytes& element, Bytes& content);

// The upper-case hexadecimal text of bytes.
std::string HexText(const Bytes& bytes);

// Text helpers for the strings Windows keeps as UTF-16.
std::u16string Utf16FromAscii(const std::string& text);
// UTF-16 little-endian bytes, with a terminating NUL when `terminated`.
Bytes Utf16LeBytes(const std::u16string& text, bool terminated);

}  // namespace korva::der
