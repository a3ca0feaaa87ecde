#include "common/core/der.h"

#include <gtest/gtest.h>

#include "install/core/driver_catalog.h"

namespace korva {
namespace {

using der::Bytes;

std::string Hex(const Bytes& bytes) { return der::HexText(bytes); }

TEST(DerTest, EncodingsAreTheDistinguishedOnes) {
  struct Case {
    Bytes encoded;
    const char* expected;
  } cases[] = {
      {der::Integer(0), "020100"},
      {der::Integer(127), "02017F"},
      {der::Integer(128), "02020080"},
      {der::Integer(256), "02020100"},
      {der::Integer(-1), "0201FF"},
      {der::Integer(-128), "020180"},
      {der::Integer(-129), "0202FF7F"},
      {der::Integer(0x10010001), "020410010001"},
      // A serial number or modulus: never negative, no leading zeros but the sign's.
      {der::UnsignedInteger({0x00, 0x00, 0x7F}), "02017F"},
      {der::UnsignedInteger({0x80, 0x01}), "0203008001"},
      {der::UnsignedInteger({}), "020100"},
      {der::UnsignedInteger({0x00, 0x00}), "020100"},
      {der::ObjectId("1.2.840.113549.1.7.2"), "06092A864886F70D010702"},
      {der::ObjectId("1.3.6.1.4.1.311.12.1.1"), "060A2B0601040182370C0101"},
      {der::ObjectId("2.5.29.19"), "0603551D13"},
      {der::ObjectId("2.16.840.1.101.3.4.2.1"), "0609608648016503040201"},
      {der::Boolean(true), "0101FF"},
      {der::Null(), "0500"},
      {der::BitString({0xAB}), "030200AB"},
      {der::BmpString(u"Fi"), "1E0400460069"},
      {der::Utf16LeBytes(u"A", true), "41000000"},
      {der::Explicit(0, der::Integer(2)), "A003020102"},
      {der::ImplicitConstructed(0, der::SetOf({der::Null()})), "A0020500"},
      {der::ImplicitPrimitive(0, der::BmpString(u"A")), "80020041"},
      // UTCTime up to 2049, GeneralizedTime from 2050 on (RFC 5280).
      {der::Time({2026, 12, 8, 4, 5, 6}), "170D3236313230383034303530365A"},
      {der::Time({2049, 12, 31, 23, 59, 59}), "170D3439313233313233353935395A"},
      {der::Time({2050, 1, 1, 0, 0, 0}), "180F32303530303130313030303030305A"},
      // Set elements in the order of their encodings, whatever order they were given in.
      {der::SetOf({der::Integer(2), der::Integer(1), der::Null()}),
       "3108020101020102"
       "0500"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(c.encoded), c.expected);
}

TEST(DerTest, LengthsTakeTheShortestFormAndContentIsFoundAgain) {
  for (size_t length : {0u, 1u, 127u, 128u, 255u, 256u, 65535u, 65536u, 16u * 1024 * 1024}) {
    Bytes content(length, 0x5A);
    Bytes element = der::OctetString(content);
    size_t header = length < 128          ? 2
                    : length < 256        ? 3
                    : length < 65536      ? 4
                    : length < (1u << 24) ? 5
                                          : 6;
    ASSERT_EQ(element.size(), length + header) << length;
    if (length >= 128) {
      EXPECT_EQ(element[1], 0x80 | (header - 2)) << length;
    }
    Bytes found;
    ASSERT_TRUE(der::ContentOf(element, found)) << length;
    EXPECT_EQ(found, content) << length;
  }
  Bytes found;
  // Cut short, or a length of more digits than it can hold: no content.
  EXPECT_FALSE(der::ContentOf({0x04, 0x05, 0x01}, found));
  EXPECT_FALSE(der::ContentOf({0x04, 0x82, 0x01}, found));
  EXPECT_FALSE(der::ContentOf({0x04, 0x80}, found));
  EXPECT_FALSE(der::ContentOf({0x04, 0x89, 1, 1, 1, 1, 1, 1, 1, 1, 1}, found));
}

}  // namespace
}  // namespace korva
