#pragma once

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "NqFPEngXControl_TLB.h"

// The engine's 1:N caches: each handle names a set of enrolled templates keyed by id. Every
// engine keeps its templates in its own decoded form; TCodec says how to read a template text
// (static std::optional<TTemplate> Decode(std::u16string_view)) and how to compare two
// (static int32_t Score(const TTemplate& AEnrolled, const TTemplate& AProbe)). Not
// thread-safe; the engine guards it with its own lock. Unknown handles raise EOleException.
template <class TTemplate, class TCodec>
class TFingerprintCacheSet {
 public:
  struct TIdentification {
    int32_t Id = -1;       // best matching id, or -1
    int32_t Score = 0;     // best score found, also when below the threshold
    int32_t Compared = 0;  // templates compared
  };

  int32_t Create() {
    if (FNextHandle == std::numeric_limits<int32_t>::max()) {
      throw EOleException("No fingerprint cache handle left");
    }
    const int32_t handle = FNextHandle++;
    FCaches.emplace(handle, TCache{});
    return handle;
  }

  void Free(int32_t AHandle) {
    Find(*this, AHandle);
    FCaches.erase(AHandle);
  }

  // Stores the enrolled finger under AId, replacing an earlier entry with that id. Both texts
  // describe the same finger; the format-"10" one is used when it is valid, else the
  // format-"9" one. Returns false, storing nothing, when neither is a valid template.
  bool Add(int32_t AHandle, int32_t AId, std::u16string_view ARegTemplate9,
           std::u16string_view ARegTemplate10) {
    TCache& cache = Find(*this, AHandle);
    auto decoded = TCodec::Decode(ARegTemplate10);
    if (!decoded) decoded = TCodec::Decode(ARegTemplate9);
    if (!decoded) return false;
    cache.insert_or_assign(AId, std::move(*decoded));
    return true;
  }

  // Compares the probe template with every template of the cache; equal best scores go to the
  // lowest id. A probe that is not a valid template compares with nothing. A codec may offer
  // static std::vector<std::size_t> Shortlist(std::span<const TTemplate* const>, const TTemplate&):
  // the ascending positions of the templates worth scoring, the others taken for strangers, so
  // that a large cache is searched in a fraction of the time. Compared counts every template.
  TIdentification Identify(int32_t AHandle, std::u16string_view AProbe, int32_t AThreshold) const {
    const TCache& cache = Find(*this, AHandle);
    TIdentification result;
    const std::optional<TTemplate> probe = TCodec::Decode(AProbe);
    if (!probe) return result;
    std::vector<int32_t> ids;
    std::vector<const TTemplate*> enrolled;
    for (const auto& [id, entry] : cache) {
      ids.push_back(id);
      enrolled.push_back(&entry);
    }
    std::vector<std::size_t> scored;
    if constexpr (requires { TCodec::Shortlist(std::span<const TTemplate* const>(enrolled), *probe); }) {
      scored = TCodec::Shortlist(enrolled, *probe);
    } else {
      for (std::size_t i = 0; i < enrolled.size(); ++i) scored.push_back(i);
    }
    result.Compared = static_cast<int32_t>(enrolled.size());
    int32_t bestId = -1;
    for (const std::size_t i : scored) {
      const int32_t score = TCodec::Score(*enrolled[i], *probe);
      if (bestId == -1 || score > result.Score) {
        bestId = ids[i];
        result.Score = score;
      }
    }
    if (bestId != -1 && result.Score >= AThreshold) result.Id = bestId;
    return result;
  }

 private:
  using TCache = std::map<int32_t, TTemplate>;

  template <class TSelf>
  static auto& Find(TSelf& ASelf, int32_t AHandle) {
    const auto found = ASelf.FCaches.find(AHandle);
    if (found == ASelf.FCaches.end()) {
      throw EOleException("Unknown fingerprint cache handle " + std::to_string(AHandle));
    }
    return found->second;
  }

  std::map<int32_t, TCache> FCaches;
  int32_t FNextHandle = 1;
};
