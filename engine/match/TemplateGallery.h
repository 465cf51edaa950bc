#pragma once

// The templates one probe is identified among: a text file, one template per line, each line
// either "TEMPLATE" or "ID TEMPLATE" (the id any text without blanks, then a space or a tab).
// Blank lines are skipped; a line may end in CR LF.

#include <string>
#include <vector>

struct TGalleryEntry {
  int Line = 0;  // counted from 1, blank lines included
  std::string Id;
  std::string Template;
};

struct TGallery {
  std::vector<TGalleryEntry> Entries;
  // Empty when the file was read, else why not ("cannot open x: No such file or directory").
  std::string Error;
};

TGallery ReadGallery(const std::string& APath);
