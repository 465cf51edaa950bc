#include "LogViewAdapter.h"

#include <QLabel>
#include <QPlainTextEdit>

#include "LogLineLimit.h"
#include "QtMainThreadQueue.h"

TLogViewAdapter::TLogViewAdapter(QPlainTextEdit& AView, TQtMainThreadQueue& AQueue, std::FILE* ATee)
    : FView(AView), FQueue(AQueue), FTee(ATee) {
  connect(&FQueue, &TQtMainThreadQueue::BatchDone, this, &TLogViewAdapter::Flush);
}

void TLogViewAdapter::AppendLine(const std::u16string& ALine) {
  if (FPendingLines++ > 0) FPending += QLatin1Char('\n');
  FPending += QString::fromStdU16String(ShownLogLine(ALine));
  if (!FQueue.Draining()) Flush();
}

void TLogViewAdapter::Flush() {
  if (FPendingLines == 0) return;
  const QString batch = std::move(FPending);
  FPending.clear();
  FPendingLines = 0;
  FView.appendPlainText(batch);
  if (FTee) {
    const QByteArray text = batch.toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), FTee);
    std::fputc('\n', FTee);
    std::fflush(FTee);
  }
}

void TLabelCountView::SetText(const std::u16string& AText) {
  FLabel.setText(QString::fromStdU16String(AText));
}
