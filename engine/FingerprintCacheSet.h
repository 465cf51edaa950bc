#pragma once

#include <cstdint>
#include <map>
#include <string_view>

#include "FingerFeatures.h"

// The engine's 1:N caches: each handle names a set of enrolled templates keyed by id. Not
// thread-safe; the engine guards it with its own lock. Unknown handles raise EOleException.
class TFingerprintCacheSet {
 public:
  struct TIdentification {
    int32_t Id = -1;       // best matching id, or -1
    int32_t Score = 0;     // best score found, also when below the threshold
    int32_t Compared = 0;  // templates compared
  };

  int32_t Create();
  void Free(int32_t AHandle);

  // Stores the enrolled finger under AId, replacing an earlier entry with that id. Both texts
  // describe the same finger; the format-"10" one is used when it is valid, else the
  // format-"9" one. Returns false, storing nothing, when neither is a valid template.
  bool Add(int32_t AHandle, int32_t AId, std::u16string_view ARegTemplate9,
           std::u16string_view ARegTemplate10);

  // Compares the probe template with every template of the cache; equal best scores go to the
  // lowest id. A probe that is not a valid template compares with nothing.
  TIdentification Identify(int32_t AHandle, std::u16string_view AProbe, int32_t AThreshold) const;

 private:
  using TCache = std::map<int32_t, TFeatureSet>;

  template <class TSelf>
  static auto& Find(TSelf& ASelf, int32_t AHandle);

  std::map<int32_t, TCache> FCaches;
  int32_t FNextHandle = 1;
};
