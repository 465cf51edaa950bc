// press_templates: presses image files on libfprint's virtual image reader through the reader
// engine and writes, one line per image, what the engine made of the press:
//   PATH CLASS QUALITY TEMPLATE
// CLASS is the press's rating (0 good, -1 suspicious, 1 poor), QUALITY 0..100, TEMPLATE the press's
// minutiae as a format-10 template text ("-" when the reader could not use the press). Matchers
// and quality measures can then be studied on real minutiae without libfprint in the loop.
//   press_templates OUT IMAGE...

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "FprintFPEngX.h"
#include "ImageFile.h"
#include "MainThreadQueue.h"
#include "VirtualImageDevice.h"

namespace {

// A cold reader every so many presses: libfprint's heat model stops one kept armed for minutes.
constexpr int kPressesPerReader = 60;

std::string Narrow(const std::u16string& AText) { return std::string(AText.begin(), AText.end()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: press_templates OUT IMAGE...\n";
    return 2;
  }
  try {
    char folder[] = "/tmp/press_templates.XXXXXX";
    if (mkdtemp(folder) == nullptr) throw std::runtime_error("cannot create a socket folder");
    const std::string socket = std::string(folder) + "/reader.sock";
    setenv("FP_VIRTUAL_IMAGE", socket.c_str(), 1);
    std::ofstream out(argv[1]);
    TLoopMainThreadQueue queue;
    for (int first = 2; first < argc; first += kPressesPerReader) {
      std::filesystem::remove(socket);
      TFprintFPEngX engine(queue);
      engine.SetFPEngineVersion(u"10");
      if (engine.InitEngine() != 0) throw std::runtime_error("the engine found no virtual reader");
      TVirtualImageDevice reader(socket);
      int rated = 0;
      std::string line;
      engine.OnFeatureInfo = [&](TNqFPEngX*, int32_t AClass) {
        const std::u16string text = engine.GetTemplateAsString();
        line = std::to_string(AClass) + " " + std::to_string(engine.LastQuality()) + " " +
               (text.empty() ? std::string("-") : Narrow(text));
        ++rated;
      };
      for (int i = first; i < argc && i < first + kPressesPerReader; ++i) {
        const int before = rated;
        reader.Press(ReadImageFile(argv[i]));
        if (!queue.RunUntil([&] { return rated > before; }, std::chrono::seconds(60))) {
          throw std::runtime_error(std::string("no rating for ") + argv[i]);
        }
        out << argv[i] << ' ' << line << '\n';
      }
      engine.OnFeatureInfo = nullptr;
      engine.EndEngine();
      std::fprintf(stderr, "%d of %d pressed\n", std::min(argc, first + kPressesPerReader) - 2, argc - 2);
    }
    std::filesystem::remove_all(folder);
  } catch (const std::exception& error) {
    std::cerr << "press_templates: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
