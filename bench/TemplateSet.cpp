#include "TemplateSet.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

bool ParseFingerPress(const std::string& AStem, int& AFinger, int& APress) {
  const auto underscore = AStem.find('_');
  if (underscore == std::string::npos) return false;
  try {
    AFinger = std::stoi(AStem.substr(0, underscore));
    APress = std::stoi(AStem.substr(underscore + 1));
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

std::vector<TTemplatePress> ReadTemplatePresses(const std::string& APath, int AFirstFinger,
                                                int ALastFinger) {
  std::ifstream file(APath);
  if (!file) throw std::runtime_error("cannot read " + APath);
  std::vector<TTemplatePress> presses;
  std::string line;
  int lineNumber = 0;
  while (std::getline(file, line)) {
    ++lineNumber;
    std::istringstream fields(line);
    std::string path, rating, quality, text;
    if (!(fields >> path >> rating >> quality >> text) || text == "-") continue;
    TTemplatePress press;
    if (!ParseFingerPress(std::filesystem::path(path).stem().string(), press.Finger,
                          press.Press)) {
      press.Finger = lineNumber;
      press.Press = 1;
    }
    if (press.Finger < AFirstFinger || press.Finger > ALastFinger) continue;
    press.Text = std::u16string(text.begin(), text.end());
    auto decoded = DecodeMinutiaeTemplate(press.Text);
    if (!decoded) throw std::runtime_error(APath + ": template of " + path + " does not decode");
    press.Template = std::move(*decoded);
    presses.push_back(std::move(press));
  }
  return presses;
}
