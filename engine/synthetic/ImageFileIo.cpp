#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include "ImageFile.h"

namespace {

struct TFileCloser {
  void operator()(std::FILE* AFile) const { std::fclose(AFile); }
};

[[noreturn]] void FailOn(const std::string& AWhat, const std::string& APath, int AError) {
  throw EImageFile("cannot " + AWhat + " " + APath + ": " + std::strerror(AError));
}

std::string ReadAll(const std::string& APath) {
  const std::unique_ptr<std::FILE, TFileCloser> file(std::fopen(APath.c_str(), "rb"));
  if (!file) FailOn("open", APath, errno);
  std::string bytes;
  char chunk[65536];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
  // A directory opens, and fails only here.
  if (std::ferror(file.get())) FailOn("read", APath, errno);
  return bytes;
}

}  // namespace

TGreyImage ReadImageFile(const std::string& APath) {
  const std::string bytes = ReadAll(APath);
  const bool png = bytes.starts_with("\x89PNG");
  // P2 is still a PGM, whose decoder says it takes binary ones only.
  if (!png && !bytes.starts_with("P5") && !bytes.starts_with("P2"))
    throw EImageFile(APath + ": not a PNG or PGM image");
  try {
    return png ? DecodePng(bytes) : DecodePgm(bytes);
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
