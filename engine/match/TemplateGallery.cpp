#include "TemplateGallery.h"

#include <cerrno>
#include <cstring>
#include <fstream>

TGallery ReadGallery(const std::string& APath) {
  TGallery gallery;
  std::ifstream in(APath);
  if (!in) {
    gallery.Error = "cannot open " + APath + ": " + std::strerror(errno);
    return gallery;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) continue;
    const std::size_t blank = line.find_first_of(" \t", first);
    const std::size_t text =
        blank == std::string::npos ? blank : line.find_first_not_of(" \t", blank);
    TGalleryEntry entry{number, {}, line.substr(first, blank - first)};
    if (text != std::string::npos) {
      entry.Id = std::move(entry.Template);
      entry.Template = line.substr(text, line.find_first_of(" \t", text) - text);
    }
    gallery.Entries.push_back(std::move(entry));
  }
  if (in.bad()) gallery.Error = "cannot read " + APath + ": " + std::strerror(errno);
  return gallery;
}
