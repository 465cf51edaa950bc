#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

// Every line of the log as UTF-8, packed into large blocks, with a 12-byte index entry per line:
// a million lines cost about their own text. Appending never moves what is already stored, so it
// costs the same after a million lines as after ten.
class TLogLines {
 public:
  void Append(std::string_view AUtf8);
  size_t Count() const { return FIndex.size(); }
  std::string_view Line(size_t AIndex) const;
  // The longest line so far, in bytes.
  size_t LongestLine() const { return FLongest; }

 private:
  struct TEntry {
    uint32_t Block;
    uint32_t Offset;
    uint32_t Length;
  };

  std::vector<std::unique_ptr<char[]>> FBlocks;
  size_t FBlockSize = 0;  // of the last block
  size_t FBlockUsed = 0;  // bytes used in the last block
  std::deque<TEntry> FIndex;
  size_t FLongest = 0;
};
