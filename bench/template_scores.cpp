// template_scores: every score the minutiae matcher gives on presses that press_templates wrote,
// one per line, so that two builds can be compared byte for byte (cmp) after a change that must
// not move any score, such as one for speed:
//
//   pair A B SCORE        press A enrolled against press B, prepared once (every ordered pair)
//   text F B SCORE        finger F enrolled from its presses 1-3 as one sampled text, against the
//                         text of press B: decoded and prepared each time, as 1:1 verification
//                         does (-1: a text did not decode)
//   shortlist B F...      the enrolments identification compares press B with in full
//
//   template_scores FILE [FIRST-LAST]     presses and fingers in the order of the file

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "EnrolmentShortlist.h"
#include "MinutiaeMatcher.h"
#include "MinutiaeTemplateCodec.h"
#include "TemplateSet.h"

namespace {

constexpr int kLastEnrolPress = 3;

struct TEnrolment {
  int Finger = 0;
  std::u16string Text;
  TPreparedSamples Samples;
};

std::vector<TEnrolment> Enrol(const std::vector<TTemplatePress>& APresses) {
  std::map<int, std::vector<TMinutiaeTemplate>> samples;
  for (const TTemplatePress& press : APresses) {
    if (press.Press <= kLastEnrolPress) samples[press.Finger].push_back(press.Template);
  }
  std::vector<TEnrolment> enrolments;
  for (const auto& [finger, templates] : samples) {
    TEnrolment enrolment{finger, EncodeTemplateSamples(templates, 10), {}};
    enrolment.Samples = *TMinutiaeTemplateCodec::Decode(enrolment.Text);
    enrolments.push_back(std::move(enrolment));
  }
  return enrolments;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: template_scores FILE [FIRST-LAST]\n");
    return 2;
  }
  int first = 0, last = 1 << 30;
  if (argc == 3 && std::sscanf(argv[2], "%d-%d", &first, &last) != 2) {
    std::fprintf(stderr, "template_scores: not FIRST-LAST: %s\n", argv[2]);
    return 2;
  }
  const std::vector<TTemplatePress> presses = ReadTemplatePresses(argv[1], first, last);
  std::vector<TPreparedTemplate> prepared;
  for (const TTemplatePress& press : presses) prepared.emplace_back(press.Template);
  for (std::size_t a = 0; a < presses.size(); ++a) {
    for (std::size_t b = 0; b < presses.size(); ++b) {
      if (a != b) std::printf("pair %zu %zu %d\n", a, b, CompareMinutiae(prepared[a], prepared[b]));
    }
  }
  const std::vector<TEnrolment> enrolments = Enrol(presses);
  std::vector<TEnrolmentSamples> gallery;
  for (const TEnrolment& enrolment : enrolments) gallery.emplace_back(enrolment.Samples);
  for (std::size_t b = 0; b < presses.size(); ++b) {
    for (const TEnrolment& enrolment : enrolments) {
      const auto score = TMinutiaeTemplateCodec::ScoreTexts(enrolment.Text, presses[b].Text);
      std::printf("text %d %zu %d\n", enrolment.Finger, b, score.value_or(-1));
    }
    std::printf("shortlist %zu", b);
    const TPreparedTemplate& probe = prepared[b];
    for (std::size_t index :
         ShortlistEnrolments(gallery, std::span(&probe, 1), kIdentificationShortlist))
      std::printf(" %d", enrolments[index].Finger);
    std::printf("\n");
  }
  return 0;
}
