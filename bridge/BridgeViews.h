#pragma once

#include <string>

// What the window lends the bridge. Both are called on the main thread only.
class ILogView {
 public:
  virtual ~ILogView() = default;
  // Adds one line at the end of the log.
  virtual void AppendLine(const std::u16string& ALine) = 0;
};

class ICountView {
 public:
  virtual ~ICountView() = default;
  virtual void SetText(const std::u16string& AText) = 0;
};
