#pragma once

#include <QObject>
#include <QString>
#include <cstdio>
#include <string>

#include "BridgeViews.h"

class QPlainTextEdit;
class QLabel;
class TQtMainThreadQueue;

// The window's log view as the bridge sees it. Lines that arrive while the main-thread queue
// drains are collected and appended with one call when the drain ends, in their order, so that
// thousands of lines a second cost a few document edits. A line written outside a drain is
// appended at once. With a tee, every line also goes there (UTF-8), flushed per batch.
class TLogViewAdapter final : public QObject, public ILogView {
  Q_OBJECT

 public:
  TLogViewAdapter(QPlainTextEdit& AView, TQtMainThreadQueue& AQueue, std::FILE* ATee);

  void AppendLine(const std::u16string& ALine) override;

 private:
  void Flush();

  QPlainTextEdit& FView;
  TQtMainThreadQueue& FQueue;
  std::FILE* const FTee;
  QString FPending;  // lines not yet in the view, joined by line feeds
  int FPendingLines = 0;
};

// The window's client-count label as the bridge sees it.
class TLabelCountView final : public ICountView {
 public:
  explicit TLabelCountView(QLabel& ALabel) : FLabel(ALabel) {}
  void SetText(const std::u16string& AText) override;

 private:
  QLabel& FLabel;
};
