#pragma once

#include <QObject>
#include <cstdio>
#include <string>

#include "BridgeViews.h"

class QLabel;
class TLogView;
class TQtMainThreadQueue;

// The window's log view as the bridge sees it. Each line is kept as the window shows it (cut when
// very long) and appended at once; the view repaints at most once per pass of the event loop.
// With a tee, every line also goes there (UTF-8), flushed once per drain of the main-thread queue.
class TLogViewAdapter final : public QObject, public ILogView {
  Q_OBJECT

 public:
  TLogViewAdapter(TLogView& AView, TQtMainThreadQueue& AQueue, std::FILE* ATee);

  void AppendLine(const std::u16string& ALine) override;

 private:
  void FlushTee();

  TLogView& FView;
  TQtMainThreadQueue& FQueue;
  std::FILE* const FTee;
};

// The window's client-count label as the bridge sees it.
class TLabelCountView final : public ICountView {
 public:
  explicit TLabelCountView(QLabel& ALabel) : FLabel(ALabel) {}
  void SetText(const std::u16string& AText) override;

 private:
  QLabel& FLabel;
};
