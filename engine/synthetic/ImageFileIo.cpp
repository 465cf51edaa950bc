#include <fstream>
#include <iterator>

#include "ImageFile.h"

TGreyImage ReadImageFile(const std::string& APath) {
  std::ifstream file(APath, std::ios::binary);
  if (!file) throw EImageFile(APath + ": cannot open");
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  try {
    return bytes.starts_with("\x89PNG") ? DecodePng(bytes) : DecodePgm(bytes);
  } catch (const EImageFile& error) {
    throw EImageFile(APath + ": " + error.what());
  }
}

void WriteImageFile(const std::string& APath, const TGreyImage& AImage) {
  const std::string bytes = APath.ends_with(".png") ? EncodePng(AImage) : EncodePgm(AImage);
  std::ofstream file(APath, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file.flush()) throw EImageFile(APath + ": cannot write");
}
