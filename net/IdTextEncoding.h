#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TIdBytes = std::vector<uint8_t>;

// Text (UTF-16) to bytes and back. Implementations never throw on malformed input and keep no
// per-call state, so the shared instances serve every thread.
class IIdTextEncoding {
 public:
  virtual ~IIdTextEncoding() = default;
  virtual TIdBytes GetBytes(std::u16string_view AText) const = 0;
  virtual std::u16string GetString(const uint8_t* ABytes, size_t ALength) const = 0;
  std::u16string GetString(const TIdBytes& ABytes) const {
    return GetString(ABytes.data(), ABytes.size());
  }
};

// UTF-8 without byte-order mark: a malformed sequence decodes to U+FFFD (one per maximal
// invalid subpart) and an unpaired surrogate encodes as the UTF-8 form of U+FFFD.
class TIdUTF8Encoding : public IIdTextEncoding {
 public:
  TIdBytes GetBytes(std::u16string_view AText) const override;
  std::u16string GetString(const uint8_t* ABytes, size_t ALength) const override;
  using IIdTextEncoding::GetString;
  // Appends the encoding of AText to AOut; lets writers build a frame in one buffer.
  static void AppendUTF8(std::u16string_view AText, TIdBytes& AOut);
};

// 7-bit ASCII: code units above 127 become '?', bytes above 127 become U+FFFD.
class TIdASCIIEncoding : public IIdTextEncoding {
 public:
  TIdBytes GetBytes(std::u16string_view AText) const override;
  std::u16string GetString(const uint8_t* ABytes, size_t ALength) const override;
  using IIdTextEncoding::GetString;
};

const IIdTextEncoding& IdTextEncodingUTF8();
const IIdTextEncoding& IdTextEncodingASCII();
// The encoding used wherever none is given: ASCII, for the whole process.
const IIdTextEncoding& IdTextEncodingDefault();
