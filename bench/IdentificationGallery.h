#pragma once

#include <vector>

// The fingers whose enrolments a probe of AFinger is identified among, for both matchers: the
// ASize - 1 fingers after it (in a circle), then its own last. A gallery of this size gives
// enough impostor pairs while keeping libfprint's identification, which costs a press and one
// match per print, short.
inline std::vector<int> IdentificationGallery(int AFinger, int AFingers, int ASize) {
  std::vector<int> gallery;
  for (int step = 1; step < ASize && step < AFingers; ++step) gallery.push_back((AFinger + step) % AFingers);
  gallery.push_back(AFinger);
  return gallery;
}
