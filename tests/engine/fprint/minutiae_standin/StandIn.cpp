// Throw-away stand-in for the minutiae library until it is merged: just enough to run the
// reader engine end to end.
#include <cmath>
#include <sstream>
#include "EnrollmentMerge.h"
#include "MinutiaeMatcher.h"
#include "PressQuality.h"

TPressQuality MeasurePressQuality(const TGreyImage&, std::span<const TMinutia> AMinutiae) {
  const int n = static_cast<int>(AMinutiae.size());
  return {std::min(100, n * 2), n >= 12 ? 0 : 1};
}

std::u16string EncodeMinutiaeTemplate(const TMinutiaeTemplate& T, int AFormat) {
  std::ostringstream out;
  out << "STANDIN" << AFormat << ' ' << T.Width << ' ' << T.Height << ' ' << T.Quality << ' ' << T.Minutiae.size();
  for (const auto& m : T.Minutiae) out << ' ' << m.X << ' ' << m.Y << ' ' << m.Direction;
  const std::string s = out.str();
  return std::u16string(s.begin(), s.end());
}

std::optional<TMinutiaeTemplate> DecodeMinutiaeTemplate(std::u16string_view AText) {
  std::string s(AText.begin(), AText.end());
  if (s.rfind("STANDIN", 0) != 0) return std::nullopt;
  std::istringstream in(s.substr(9));
  TMinutiaeTemplate t;
  size_t n = 0;
  if (!(in >> t.Width >> t.Height >> t.Quality >> n)) return std::nullopt;
  for (size_t i = 0; i < n; ++i) {
    TMinutia m;
    if (!(in >> m.X >> m.Y >> m.Direction)) return std::nullopt;
    t.Minutiae.push_back(m);
  }
  return t;
}

int32_t CompareMinutiae(const TMinutiaeTemplate& A, const TMinutiaeTemplate& B) {
  int hits = 0;
  for (const auto& b : B.Minutiae)
    for (const auto& a : A.Minutiae)
      if (std::hypot(a.X - b.X, a.Y - b.Y) < 7 && std::abs(std::remainder(a.Direction - b.Direction, 6.2831853f)) < 0.3f) { ++hits; break; }
  const size_t most = std::max(A.Minutiae.size(), B.Minutiae.size());
  return most == 0 ? 0 : static_cast<int32_t>(100 * hits / most);
}

TMinutiaeTemplate MergeEnrollment(std::span<const TMinutiaeTemplate> P) { return P.front(); }
