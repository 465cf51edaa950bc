#include "LogLines.h"

#include <algorithm>
#include <cstring>

namespace {

// Large enough that the block list stays short, small enough that the unused end of the last
// block does not matter.
constexpr size_t kBlockBytes = size_t(1) << 20;

}  // namespace

void TLogLines::Append(std::string_view AUtf8) {
  if (FBlocks.empty() || FBlockSize - FBlockUsed < AUtf8.size()) {
    // A line longer than a block gets a block of its own size.
    FBlockSize = std::max(kBlockBytes, AUtf8.size());
    FBlocks.push_back(std::make_unique_for_overwrite<char[]>(FBlockSize));
    FBlockUsed = 0;
  }
  std::memcpy(FBlocks.back().get() + FBlockUsed, AUtf8.data(), AUtf8.size());
  FIndex.push_back({uint32_t(FBlocks.size() - 1), uint32_t(FBlockUsed), uint32_t(AUtf8.size())});
  FBlockUsed += AUtf8.size();
  FLongest = std::max(FLongest, AUtf8.size());
}

std::string_view TLogLines::Line(size_t AIndex) const {
  const TEntry& entry = FIndex[AIndex];
  return std::string_view(FBlocks[entry.Block].get() + entry.Offset, entry.Length);
}
