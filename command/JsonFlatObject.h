#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

// An object of a few text members, read in place from UTF-8 bytes: the form of nearly every
// command a page sends ({"act":"verify","state":"..."}). Only text this form covers is taken: one
// object, at most kMaxMembers members, every value a string, no escape, no control character, no
// malformed UTF-8, nothing but white space after it. Such text means the same read here as read by
// the full parser after decoding; for anything else Scan says no and the full parser decides.
class TJsonFlatObject {
 public:
  static constexpr size_t kMaxMembers = 8;

  struct TMember {
    std::string_view Name;
    std::string_view Value;
  };

  // False when AText is not of the form above; the object is then empty.
  bool Scan(std::string_view AText);

  size_t Count() const { return FCount; }
  const TMember& Member(size_t AIndex) const { return FMembers[AIndex]; }
  // The value of the first member named AName, as the document's GetString finds it; null when
  // there is none.
  const std::string_view* Find(std::string_view AName) const;
  // True when the text holds no white space outside its strings: it is then byte for byte the
  // compact form the writer gives the same object.
  bool Compact() const { return FCompact; }

 private:
  std::array<TMember, kMaxMembers> FMembers{};
  size_t FCount = 0;
  bool FCompact = true;
};
