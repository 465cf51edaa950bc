#pragma once

#include <cstdio>
#include <string>

// Fingers First..End-1 of a set (0-based), for figures over part of it.
struct TFingerRange {
  int First = 0;
  int End = 0;

  bool Contains(int AFinger) const { return AFinger >= First && AFinger < End; }
  int Count() const { return End - First; }
  // As the set numbers them, from 1.
  std::string Text() const {
    char text[32];
    std::snprintf(text, sizeof text, "%d-%d", First + 1, End);
    return text;
  }
};
