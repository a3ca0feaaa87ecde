#include "cleanup/core/inf_text_matcher.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "common/core/text.h"

// UTF-16 files are little-endian; their code units are read in place.
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "UTF-16 INF files are read as little-endian code units"
#endif

namespace korva {

namespace {

constexpr size_t kBlockSize = 256 * 1024;
constexpr char kCtrlZ = 0x1A;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// UTF-16 code units looked at together: a group that is all ASCII is copied here, the others
// go to the platform's conversion, consecutive ones in one call. A call thus ends only before
// an ASCII group or at the end of the block, and never cuts a surrogate pair.
constexpr size_t kUnitGroup = 32;

// How common a byte is in INF text; lower is rarer. Picks the search anchor.
int Commonness(unsigned char c) {
  if (std::isalpha(c)) return 4;
  if (c == '-' || c == '_' || c == '.' || c == ',' || c == ' ' || c == '=') return 3;
  if (std::isdigit(c)) return 2;
  return 1;
}

// memchr, a word at a time. The C library's own is a byte loop on some platforms (Wine's
// msvcrt among them), and this search runs over every byte of every INF file.
const char* FindByte(const char* p, const char* end, unsigned char c) {
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighs = 0x8080808080808080ull;
  const std::uint64_t pattern = kOnes * c;
  while (end - p >= 16) {
    std::uint64_t first;
    std::uint64_t second;
    std::memcpy(&first, p, 8);
    std::memcpy(&second, p + 8, 8);
    first ^= pattern;
    second ^= pattern;
    if (((first - kOnes) & ~first & kHighs) | ((second - kOnes) & ~second & kHighs)) break;
    p += 16;
  }
  for (; p < end; ++p) {
    if (static_cast<unsigned char>(*p) == c) return p;
  }
  return nullptr;
}

bool Contains(std::string_view haystack, const std::string& needle) {
  return haystack.find(needle) != std::string_view::npos;
}

}  // namespace

InfTextMatcher::InfTextMatcher(InfSearchTerms terms, Utf16ToAnsi toAnsi)
    : terms_(std::move(terms)), toAnsi_(std::move(toAnsi)) {
  for (int c = 0; c < 256; ++c) {
    upper_[c] = static_cast<unsigned char>(std::toupper(c));
    asciiUpper_[c] = static_cast<unsigned char>(AsciiUpper(static_cast<char>(c)));
    fieldCharacter_[c] = IsFieldCharacter(static_cast<unsigned char>(c));
  }

  // Every ANSI code page keeps ASCII as it is; asking the conversion once makes sure, and then
  // ASCII text, most of an INF file, is copied here rather than passed through the platform.
  char16_t ascii[128];
  char asciiForms[128 * kMaxAnsiBytesPerUnit];
  for (char16_t unit = 0; unit < 128; ++unit) ascii[unit] = unit;
  if (toAnsi_ && toAnsi_(ascii, 128, asciiForms) == 128) {
    asciiIsItself_ = true;
    for (int c = 0; c < 128; ++c) asciiIsItself_ = asciiIsItself_ && asciiForms[c] == c;
  }

  const std::string& guid = terms_.classGuidText;
  size_t bestScore = SIZE_MAX;
  for (size_t i = 0; i < guid.size(); ++i) {
    std::vector<unsigned char> bytes;
    for (int c = 0; c < 256; ++c) {
      if (asciiUpper_[c] == static_cast<unsigned char>(guid[i]))
        bytes.push_back(static_cast<unsigned char>(c));
    }
    size_t score = bytes.size() * 8 + Commonness(static_cast<unsigned char>(guid[i]));
    if (score < bestScore) {
      bestScore = score;
      anchor_ = i;
      anchorBytes_ = std::move(bytes);
    }
  }
}

bool InfTextMatcher::IsKitInf(const InfMarks& marks) const {
  return marks.classFound && marks.usbFound && (marks.identFound || terms_.expertMode);
}

// Every occurrence counts, not only the first: "X_NAME NAME" holds NAME as a field.
bool InfTextMatcher::ContainsField(std::string_view text, const std::string& field) const {
  auto isFieldCharacter = [this](char c) { return fieldCharacter_[static_cast<unsigned char>(c)]; };
  for (size_t at = text.find(field); at != std::string_view::npos; at = text.find(field, at + 1)) {
    size_t end = at + field.size();
    if ((at == 0 || !isFieldCharacter(text[at - 1])) &&
        (end == text.size() || !isFieldCharacter(text[end]))) {
      return true;
    }
  }
  return false;
}

void InfTextMatcher::ExaminePiece(std::string_view localeUpper, std::string_view asciiUpper,
                                  InfMarks& marks) const {
  if (!marks.classFound && Contains(asciiUpper, "CLASSGUID") &&
      Contains(asciiUpper, terms_.classGuidText)) {
    marks.classFound = true;
  }
  if (!marks.identFound && ContainsField(localeUpper, terms_.identValueName) &&
      ContainsField(localeUpper, terms_.deviceIdentString)) {
    marks.identFound = true;
  }
  if (!marks.usbFound && Contains(asciiUpper, "USB\\")) marks.usbFound = true;
}

// Turns raw bytes into the pieces that fgets in text mode would deliver, keeping of each
// piece only the part before its first ';' or NUL, upper-cased both ways.
class InfTextMatcher::PieceReader {
 public:
  explicit PieceReader(const InfTextMatcher& matcher) : matcher_(matcher) {}

  // Feeds a block of raw bytes; false once a Ctrl+Z has ended the text.
  bool Feed(const char* data, size_t size, InfMarks& marks) {
    for (size_t i = 0; i < size; ++i) {
      char c = data[i];
      if (pendingReturn_) {
        pendingReturn_ = false;
        if (c == '\n') {
          Put('\n', marks);
          continue;
        }
        Put('\r', marks);
      }
      if (c == kCtrlZ) {
        ended_ = true;
        return false;
      }
      if (c == '\r') {
        pendingReturn_ = true;
        continue;
      }
      Put(c, marks);
    }
    return true;
  }

  void Finish(InfMarks& marks) {
    if (pendingReturn_ && !ended_) Put('\r', marks);
    pendingReturn_ = false;
    if (pieceLength_ > 0) EndPiece(marks);
  }

 private:
  void Put(char c, InfMarks& marks) {
    if (!cut_) {
      if (c == ';' || c == '\0') {
        cut_ = true;
      } else {
        unsigned char byte = static_cast<unsigned char>(c);
        content_[contentLength_] = static_cast<char>(matcher_.upper_[byte]);
        asciiContent_[contentLength_++] = static_cast<char>(matcher_.asciiUpper_[byte]);
      }
    }
    if (++pieceLength_ == kInfPieceLength || c == '\n') EndPiece(marks);
  }

  void EndPiece(InfMarks& marks) {
    matcher_.ExaminePiece(std::string_view(content_, contentLength_),
                          std::string_view(asciiContent_, contentLength_), marks);
    pieceLength_ = 0;
    contentLength_ = 0;
    cut_ = false;
  }

  const InfTextMatcher& matcher_;
  char content_[kInfPieceLength];
  char asciiContent_[kInfPieceLength];
  size_t contentLength_ = 0;
  size_t pieceLength_ = 0;
  bool cut_ = false;
  bool pendingReturn_ = false;
  bool ended_ = false;
};

size_t InfTextMatcher::ToAnsi(const char16_t* units, size_t count, char* out) const {
  if (!toAnsi_) return 0;  // no conversion: no text
  if (!asciiIsItself_) return toAnsi_(units, count, out);
  constexpr std::uint64_t kNotAscii = 0xFF80FF80FF80FF80ull;
  size_t written = 0;
  size_t converted = 0;  // units before this one are done
  size_t i = 0;
  for (; count - i >= kUnitGroup; i += kUnitGroup) {
    std::uint64_t four[kUnitGroup / 4];
    std::memcpy(four, units + i, sizeof(four));
    std::uint64_t any = 0;
    for (std::uint64_t word : four) any |= word;
    if (any & kNotAscii) continue;
    if (converted < i) written += toAnsi_(units + converted, i - converted, out + written);
    for (std::uint64_t word : four) {
      std::uint32_t bytes =
          static_cast<std::uint32_t>((word & 0xFF) | ((word >> 8) & 0xFF00) |
                                     ((word >> 16) & 0xFF0000) | ((word >> 24) & 0xFF000000));
      std::memcpy(out + written, &bytes, 4);
      written += 4;
    }
    converted = i + kUnitGroup;
  }
  if (converted < count) written += toAnsi_(units + converted, count - converted, out + written);
  return written;
}

// The text the rule runs on: the file's own bytes, or, for a file that begins with the UTF-16LE
// byte-order mark, the ANSI form of the code units after it, converted a block at a time as
// the reader asks for text. Reads of at least 2 * kMaxAnsiBytesPerUnit bytes only.
class InfTextMatcher::TextSource : public InfSource {
 public:
  TextSource(InfSource& file, const InfTextMatcher& matcher) : file_(file), matcher_(matcher) {}

  size_t Read(char* buffer, size_t size) override {
    if (!started_) return Start(buffer, size);
    return utf16_ ? ReadConverted(buffer, size) : file_.Read(buffer, size);
  }

  bool Rewind() override {
    started_ = utf16_ = ended_ = false;
    head_ = tail_ = 0;
    return file_.Rewind();
  }

 private:
  // Reads the first block where the caller wants it and looks at its first two bytes: a file
  // without the mark costs nothing more than before.
  size_t Start(char* buffer, size_t size) {
    started_ = true;
    size_t got = 0;
    while (got < 2) {
      size_t n = file_.Read(buffer + got, size - got);
      if (n == 0) break;
      got += n;
    }
    if (got < 2 || static_cast<unsigned char>(buffer[0]) != 0xFF ||
        static_cast<unsigned char>(buffer[1]) != 0xFE) {
      return got;
    }
    utf16_ = true;
    std::vector<char16_t>& units = matcher_.units_;
    units.resize(std::max(units.size(), std::max(kBlockSize, size) / 2));
    tail_ = got - 2;
    std::memcpy(units.data(), buffer + 2, tail_);
    return ReadConverted(buffer, size);
  }

  // Converts as many whole code units as fit into `buffer`; 0 only at the end of the text.
  size_t ReadConverted(char* buffer, size_t size) {
    std::vector<char16_t>& units = matcher_.units_;
    char* bytes = reinterpret_cast<char*>(units.data());
    const size_t capacity = units.size() * 2;
    const size_t fit = size / kMaxAnsiBytesPerUnit;
    for (;;) {
      if (!ended_ && (tail_ - head_) / 2 <= fit) {
        std::memmove(bytes, bytes + head_, tail_ - head_);
        tail_ -= head_;
        head_ = 0;
        size_t n = file_.Read(bytes + tail_, capacity - tail_);
        if (n == 0) ended_ = true;
        tail_ += n;
      }
      const char16_t* first = units.data() + head_ / 2;
      const size_t available = (tail_ - head_) / 2;
      size_t count = std::min(available, fit);
      // A high surrogate may begin a pair with the unit after it, which is converted with it
      // next time; only the file's very last unit is converted alone.
      if (count > 0 && IsHighSurrogate(first[count - 1]) && !(ended_ && count == available)) {
        --count;
      }
      if (count == 0) {
        if (ended_) return 0;  // at most an odd byte is left: dropped
        continue;
      }
      size_t written = matcher_.ToAnsi(first, count, buffer);
      head_ += count * 2;
      if (written > 0) return written;
    }
  }

  InfSource& file_;
  const InfTextMatcher& matcher_;
  bool started_ = false;
  bool utf16_ = false;
  bool ended_ = false;
  // The bytes of code units read and not yet converted: [head_, tail_) of matcher_.units_.
  size_t head_ = 0;
  size_t tail_ = 0;
};

InfMarks InfTextMatcher::Read(InfSource& source, bool stopWhenDecided) const {
  InfMarks marks;
  PieceReader reader(*this);
  buffer_.resize(kBlockSize);
  for (;;) {
    size_t size = source.Read(buffer_.data(), kBlockSize);
    if (size == 0) break;
    if (!reader.Feed(buffer_.data(), size, marks)) break;
    if (stopWhenDecided && IsKitInf(marks)) return marks;
  }
  reader.Finish(marks);
  return marks;
}

InfMarks InfTextMatcher::ReadMarks(InfSource& source) const {
  TextSource text(source, *this);
  return Read(text, false);
}

bool InfTextMatcher::ContainsClassGuid(InfSource& source) const {
  const std::string& needle = terms_.classGuidText;
  if (needle.empty()) return true;
  if (anchorBytes_.empty()) return false;  // no byte upper-cases to the anchor

  auto matchesAt = [&](const char* start) {
    for (size_t k = 0; k < needle.size(); ++k) {
      if (asciiUpper_[static_cast<unsigned char>(start[k])] !=
          static_cast<unsigned char>(needle[k])) {
        return false;
      }
    }
    return true;
  };

  // The last needle.size() - 1 bytes of a block are carried into the next one, so an
  // occurrence across two blocks is seen.
  const size_t overlap = needle.size() - 1;
  buffer_.resize(overlap + kBlockSize);
  std::vector<char>& buffer = buffer_;
  size_t carried = 0;
  for (;;) {
    size_t size = source.Read(buffer.data() + carried, kBlockSize);
    if (size == 0) return false;
    size_t total = carried + size;
    if (total >= needle.size()) {
      // Candidate anchors lie in [anchor_, total - (needle.size() - anchor_)].
      const char* first = buffer.data() + anchor_;
      const char* last = buffer.data() + total - (needle.size() - anchor_) + 1;
      for (unsigned char anchorByte : anchorBytes_) {
        const char* p = first;
        while (p < last) {
          p = FindByte(p, last, anchorByte);
          if (!p) break;
          if (matchesAt(p - anchor_)) return true;
          ++p;
        }
      }
    }
    carried = std::min(overlap, total);
    std::memmove(buffer.data(), buffer.data() + total - carried, carried);
  }
}

bool InfTextMatcher::Matches(InfSource& source) const {
  TextSource text(source, *this);
  if (!ContainsClassGuid(text)) return false;
  if (!text.Rewind()) return false;
  return IsKitInf(Read(text, true));
}

}  // namespace korva
