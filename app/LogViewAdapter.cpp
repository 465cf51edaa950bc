#include "LogViewAdapter.h"

#include <QLabel>

#include "LogLineLimit.h"
#include "LogView.h"
#include "QtMainThreadQueue.h"

TLogViewAdapter::TLogViewAdapter(TLogView& AView, TQtMainThreadQueue& AQueue, std::FILE* ATee)
    : FView(AView), FQueue(AQueue), FTee(ATee) {
  if (FTee) connect(&FQueue, &TQtMainThreadQueue::BatchDone, this, &TLogViewAdapter::FlushTee);
}

void TLogViewAdapter::AppendLine(const std::u16string& ALine) {
  const std::string line = ShownLogLine(ALine);
  FView.AppendLine(line);
  if (!FTee) return;
  std::fwrite(line.data(), 1, line.size(), FTee);
  std::fputc('\n', FTee);
  if (!FQueue.Draining()) FlushTee();
}

void TLogViewAdapter::FlushTee() {
  std::fflush(FTee);
}

void TLabelCountView::SetText(const std::u16string& AText) {
  FLabel.setText(QString::fromStdU16String(AText));
}
