#include "JsonFlatObject.h"

namespace {

// The length of the well-formed UTF-8 sequence at AAt, 0 when there is none: overlong forms,
// surrogates and code points above U+10FFFF are malformed, as the decoder judges them.
size_t WellFormedLength(const unsigned char* AAt, const unsigned char* AEnd) {
  const unsigned char lead = AAt[0];
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (static_cast<size_t>(AEnd - AAt) < length) return 0;
  if (AAt[1] < low || AAt[1] > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if ((AAt[i] & 0xC0) != 0x80) return 0;
  return length;
}

class TFlatReader {
 public:
  explicit TFlatReader(std::string_view AText)
      : FAt(reinterpret_cast<const unsigned char*>(AText.data())), FEnd(FAt + AText.size()) {}

  // White space as the tokenizer skips it: every unit up to the blank.
  void SkipBlanks(bool& ACompact) {
    const unsigned char* const from = FAt;
    while (FAt != FEnd && *FAt <= ' ') ++FAt;
    if (FAt != from) ACompact = false;
  }

  bool Take(char AMark) {
    if (FAt == FEnd || *FAt != static_cast<unsigned char>(AMark)) return false;
    ++FAt;
    return true;
  }

  bool AtEnd() const { return FAt == FEnd; }

  // A string without escapes or control characters, its quotes included.
  bool String(std::string_view& AValue) {
    if (!Take('"')) return false;
    const unsigned char* const first = FAt;
    while (FAt != FEnd) {
      const unsigned char c = *FAt;
      if (c == '"') {
        AValue = std::string_view(reinterpret_cast<const char*>(first),
                                  static_cast<size_t>(FAt - first));
        ++FAt;
        return true;
      }
      if (c < 0x20 || c == '\\') return false;
      if (c < 0x80) {
        ++FAt;
        continue;
      }
      const size_t length = WellFormedLength(FAt, FEnd);
      if (length == 0) return false;
      FAt += length;
    }
    return false;
  }

 private:
  const unsigned char* FAt;
  const unsigned char* const FEnd;
};

}  // namespace

bool TJsonFlatObject::Scan(std::string_view AText) {
  FCount = 0;
  FCompact = true;
  TFlatReader reader(AText);
  bool ok = [&] {
    reader.SkipBlanks(FCompact);
    if (!reader.Take('{')) return false;
    reader.SkipBlanks(FCompact);
    if (!reader.Take('}')) {
      for (;;) {
        if (FCount == kMaxMembers) return false;
        TMember& member = FMembers[FCount++];
        if (!reader.String(member.Name)) return false;
        reader.SkipBlanks(FCompact);
        if (!reader.Take(':')) return false;
        reader.SkipBlanks(FCompact);
        if (!reader.String(member.Value)) return false;
        reader.SkipBlanks(FCompact);
        if (reader.Take('}')) break;
        if (!reader.Take(',')) return false;
        reader.SkipBlanks(FCompact);
      }
    }
    reader.SkipBlanks(FCompact);
    return reader.AtEnd();
  }();
  if (!ok) FCount = 0;
  return ok;
}

const std::string_view* TJsonFlatObject::Find(std::string_view AName) const {
  for (size_t i = 0; i < FCount; ++i)
    if (FMembers[i].Name == AName) return &FMembers[i].Value;
  return nullptr;
}
