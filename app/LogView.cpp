#include "LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

namespace {

// Room between the view's edge and the text.
constexpr int kMargin = 4;
// Wide enough for any line the window keeps, far from overflowing.
constexpr int kUnboundedWidth = 1 << 24;

}  // namespace

TLogView::TLogView(QWidget* AParent) : QAbstractScrollArea(AParent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  UpdateScrollBars();
}

void TLogView::AppendLine(std::string_view AUtf8) {
  FLines.Append(AUtf8);
  if (FShowPending) return;
  FShowPending = true;
  // One scroll-bar update and one repaint for a burst of lines, however long the log is.
  QMetaObject::invokeMethod(this, &TLogView::ShowAppended, Qt::QueuedConnection);
}

void TLogView::ShowAppended() {
  FShowPending = false;
  QScrollBar& rows = *verticalScrollBar();
  const bool following = rows.value() == rows.maximum();
  UpdateScrollBars();
  if (following) rows.setValue(rows.maximum());
  viewport()->update();
}

QString TLogView::Line(qsizetype AIndex) const {
  const std::string_view text = FLines.Line(size_t(AIndex));
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString TLogView::Lines(qsizetype AFirst, qsizetype ALast) const {
  QString text;
  for (qsizetype i = AFirst; i <= ALast; ++i) {
    if (i > AFirst) text += QLatin1Char('\n');
    text += Line(i);
  }
  return text;
}

QString TLogView::toPlainText() const {
  return Lines(0, LineCount() - 1);
}

void TLogView::selectAll() {
  if (LineCount() == 0) return;
  FAnchor = 0;
  FCursor = LineCount() - 1;
  viewport()->update();
}

void TLogView::copy() const {
  if (!HasSelection()) return;
  QApplication::clipboard()->setText(
      Lines(std::min(FAnchor, FCursor), std::max(FAnchor, FCursor)));
}

int TLogView::RowHeight() const {
  return fontMetrics().lineSpacing();
}

int TLogView::VisibleRows() const {
  return std::max(1, viewport()->height() / RowHeight());
}

qsizetype TLogView::LineAt(int AY) const {
  if (LineCount() == 0) return -1;
  const qsizetype line = verticalScrollBar()->value() + std::max(0, AY) / RowHeight();
  return std::min(line, LineCount() - 1);
}

void TLogView::UpdateScrollBars() {
  QScrollBar& rows = *verticalScrollBar();
  const int visible = VisibleRows();
  rows.setRange(0, int(std::max<qsizetype>(0, LineCount() - visible)));
  rows.setPageStep(visible);
  rows.setSingleStep(1);
  // Estimated from the longest line's length until painting measures the widest.
  const int estimated = int(std::min<size_t>(FLines.LongestLine(), 1 << 20)) *
                        fontMetrics().averageCharWidth();
  const int widest = std::max(FWidestPainted, estimated) + 2 * kMargin;
  QScrollBar& columns = *horizontalScrollBar();
  columns.setRange(0, std::max(0, widest - viewport()->width()));
  columns.setPageStep(viewport()->width());
  columns.setSingleStep(fontMetrics().averageCharWidth() * 2);
}

void TLogView::paintEvent(QPaintEvent* AEvent) {
  QPainter painter(viewport());
  const int rowHeight = RowHeight();
  const qsizetype first = verticalScrollBar()->value();
  const int x = kMargin - horizontalScrollBar()->value();
  const QRect area = AEvent->rect();
  const qsizetype from = first + area.top() / rowHeight;
  const qsizetype to = std::min(LineCount() - 1, first + area.bottom() / rowHeight);
  const qsizetype selectedFrom = std::min(FAnchor, FCursor);
  const qsizetype selectedTo = std::max(FAnchor, FCursor);
  const QPalette& colours = palette();
  int widest = FWidestPainted;
  for (qsizetype line = from; line <= to; ++line) {
    const QRect row(0, int(line - first) * rowHeight, viewport()->width(), rowHeight);
    const bool selected = HasSelection() && line >= selectedFrom && line <= selectedTo;
    if (selected) painter.fillRect(row, colours.brush(QPalette::Highlight));
    painter.setPen(colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
    // One layout both draws the line and measures it.
    QRect drawn;
    painter.drawText(QRect(x, row.top(), kUnboundedWidth, rowHeight),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                     Line(line), &drawn);
    widest = std::max(widest, drawn.width());
  }
  if (widest != FWidestPainted) {
    FWidestPainted = widest;
    UpdateScrollBars();
  }
}

void TLogView::resizeEvent(QResizeEvent* AEvent) {
  QAbstractScrollArea::resizeEvent(AEvent);
  QScrollBar& rows = *verticalScrollBar();
  const bool following = rows.value() == rows.maximum();
  UpdateScrollBars();
  if (following) rows.setValue(rows.maximum());
}

void TLogView::changeEvent(QEvent* AEvent) {
  QAbstractScrollArea::changeEvent(AEvent);
  if (AEvent->type() == QEvent::FontChange) {
    FWidestPainted = 0;
    UpdateScrollBars();
    viewport()->update();
  }
}

void TLogView::keyPressEvent(QKeyEvent* AEvent) {
  if (AEvent->matches(QKeySequence::SelectAll)) {
    selectAll();
  } else if (AEvent->matches(QKeySequence::Copy)) {
    copy();
  } else if (AEvent->matches(QKeySequence::MoveToStartOfDocument)) {
    verticalScrollBar()->setValue(0);
  } else if (AEvent->matches(QKeySequence::MoveToEndOfDocument)) {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
  } else {
    // Arrows and page keys scroll.
    QAbstractScrollArea::keyPressEvent(AEvent);
  }
}

void TLogView::mousePressEvent(QMouseEvent* AEvent) {
  if (AEvent->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(AEvent);
  const qsizetype line = LineAt(AEvent->position().toPoint().y());
  if (line < 0) return;
  if (!(AEvent->modifiers() & Qt::ShiftModifier) || !HasSelection()) FAnchor = line;
  FCursor = line;
  viewport()->update();
}

void TLogView::mouseMoveEvent(QMouseEvent* AEvent) {
  if (!(AEvent->buttons() & Qt::LeftButton) || !HasSelection()) return;
  const int y = AEvent->position().toPoint().y();
  // Dragging past an edge scrolls that way.
  if (y < 0) verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  if (y >= viewport()->height())
    verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  FCursor = LineAt(std::min(y, viewport()->height() - 1));
  viewport()->update();
}

void TLogView::contextMenuEvent(QContextMenuEvent* AEvent) {
  QMenu menu(this);
  QAction* copyAction = menu.addAction(tr("&Copy"), this, &TLogView::copy);
  copyAction->setShortcut(QKeySequence::Copy);
  copyAction->setEnabled(HasSelection());
  QAction* selectAllAction = menu.addAction(tr("Select All"), this, &TLogView::selectAll);
  selectAllAction->setShortcut(QKeySequence::SelectAll);
  selectAllAction->setEnabled(LineCount() > 0);
  menu.exec(AEvent->globalPos());
}
