#include "EnrolmentShortlist.h"

#include <algorithm>

#include "ProbeScreen.h"

std::vector<std::size_t> ShortlistEnrolments(std::span<const TEnrolmentSamples> AEnrolments,
                                             TEnrolmentSamples AProbe, std::size_t AMaxCount) {
  std::vector<std::size_t> order(AEnrolments.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  if (AEnrolments.size() <= AMaxCount) return order;
  std::vector<TProbeScreen> screens;
  for (const TPreparedTemplate& probe : AProbe) screens.emplace_back(probe);
  std::vector<int> agreement(AEnrolments.size(), 0);
  for (std::size_t i = 0; i < AEnrolments.size(); ++i) {
    for (const TProbeScreen& screen : screens) {
      for (const TPreparedTemplate& sample : AEnrolments[i])
        agreement[i] = std::max(agreement[i], screen.Agreement(sample));
    }
  }
  // Ties go to the earlier enrolment, so that the shortlist does not depend on the library.
  const auto kept = order.begin() + static_cast<std::ptrdiff_t>(AMaxCount);
  std::nth_element(order.begin(), kept, order.end(), [&](std::size_t A, std::size_t B) {
    return agreement[A] != agreement[B] ? agreement[A] > agreement[B] : A < B;
  });
  order.erase(kept, order.end());
  std::sort(order.begin(), order.end());
  return order;
}
