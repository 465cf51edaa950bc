#include "FingerprintCacheSet.h"

#include <limits>
#include <string>

#include "FingerMatcher.h"
#include "FingerTemplate.h"
#include "NqFPEngXControl_TLB.h"

template <class TSelf>
auto& TFingerprintCacheSet::Find(TSelf& ASelf, int32_t AHandle) {
  const auto found = ASelf.FCaches.find(AHandle);
  if (found == ASelf.FCaches.end()) {
    throw EOleException("Unknown fingerprint cache handle " + std::to_string(AHandle));
  }
  return found->second;
}

int32_t TFingerprintCacheSet::Create() {
  if (FNextHandle == std::numeric_limits<int32_t>::max()) {
    throw EOleException("No fingerprint cache handle left");
  }
  const int32_t handle = FNextHandle++;
  FCaches.emplace(handle, TCache{});
  return handle;
}

void TFingerprintCacheSet::Free(int32_t AHandle) {
  Find(*this, AHandle);
  FCaches.erase(AHandle);
}

bool TFingerprintCacheSet::Add(int32_t AHandle, int32_t AId, std::u16string_view ARegTemplate9,
                               std::u16string_view ARegTemplate10) {
  TCache& cache = Find(*this, AHandle);
  auto features = DecodeTemplate(ARegTemplate10);
  if (!features) features = DecodeTemplate(ARegTemplate9);
  if (!features) return false;
  cache.insert_or_assign(AId, std::move(*features));
  return true;
}

TFingerprintCacheSet::TIdentification TFingerprintCacheSet::Identify(int32_t AHandle,
                                                                     std::u16string_view AProbe,
                                                                     int32_t AThreshold) const {
  const TCache& cache = Find(*this, AHandle);
  TIdentification result;
  const auto probe = DecodeTemplate(AProbe);
  if (!probe) return result;
  int32_t bestId = -1;
  for (const auto& [id, enrolled] : cache) {
    const int32_t score = MatchScore(enrolled, *probe);
    ++result.Compared;
    if (bestId == -1 || score > result.Score) {
      bestId = id;
      result.Score = score;
    }
  }
  if (bestId != -1 && result.Score >= AThreshold) result.Id = bestId;
  return result;
}
