#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <string_view>

#include "LogLines.h"

// The window's log: keeps every line and paints only the rows on screen, one text line per row of
// uniform height, so that appending costs the same after a million lines as after ten. Lines are
// selected whole (click, shift-click, drag, Ctrl+A) and copied with Ctrl+C or the context menu.
class TLogView final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TLogView(QWidget* AParent = nullptr);

  // Adds one line (UTF-8) at the end. Lines appended together are shown together when the event
  // loop next runs; the view follows the end while it is scrolled there.
  void AppendLine(std::string_view AUtf8);
  qsizetype LineCount() const { return qsizetype(FLines.Count()); }
  QString Line(qsizetype AIndex) const;
  // Every line, joined by line feeds.
  QString toPlainText() const;

  void selectAll();
  // Puts the selected lines on the clipboard.
  void copy() const;

 protected:
  void paintEvent(QPaintEvent* AEvent) override;
  void resizeEvent(QResizeEvent* AEvent) override;
  void changeEvent(QEvent* AEvent) override;
  void keyPressEvent(QKeyEvent* AEvent) override;
  void mousePressEvent(QMouseEvent* AEvent) override;
  void mouseMoveEvent(QMouseEvent* AEvent) override;
  void contextMenuEvent(QContextMenuEvent* AEvent) override;

 private:
  void ShowAppended();
  int RowHeight() const;
  int VisibleRows() const;
  // The line under viewport position AY, clamped to the lines there are; -1 with none.
  qsizetype LineAt(int AY) const;
  bool HasSelection() const { return FAnchor >= 0; }
  QString Lines(qsizetype AFirst, qsizetype ALast) const;
  void UpdateScrollBars();

  TLogLines FLines;
  bool FShowPending = false;
  // The widest line measured while painting; unpainted lines are estimated from their length.
  int FWidestPainted = 0;
  // The selection runs from the anchor line to the cursor line, both included; -1: none.
  qsizetype FAnchor = -1;
  qsizetype FCursor = -1;
};
