#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <functional>
#include <string>

#include "LogView.h"

namespace {

constexpr int kDeadlineMs = 20000;

class LogViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    View.resize(400, 200);
    View.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&View, kDeadlineMs));
  }

  void Append(int ACount) {
    for (int i = 0; i < ACount; ++i) View.AppendLine("line " + std::to_string(Next++));
    // Appended lines are shown when the event loop next runs.
    QCoreApplication::processEvents();
  }

  // Clicks the middle of row ARow, counted from the top of the view.
  void ClickRow(int ARow, Qt::KeyboardModifiers AModifiers = {}) {
    const int y = ARow * View.fontMetrics().lineSpacing() + View.fontMetrics().lineSpacing() / 2;
    QTest::mouseClick(View.viewport(), Qt::LeftButton, AModifiers, QPoint(20, y));
  }

  TLogView View;
  int Next = 0;
};

TEST_F(LogViewTest, FollowsTheEndOnlyWhileScrolledThere) {
  Append(1000);
  QScrollBar& rows = *View.verticalScrollBar();
  const int visible = rows.pageStep();
  EXPECT_GT(visible, 1);
  EXPECT_EQ(rows.maximum(), 1000 - visible);
  EXPECT_EQ(rows.value(), rows.maximum());

  rows.setValue(10);
  Append(5);
  EXPECT_EQ(rows.maximum(), 1005 - visible);
  EXPECT_EQ(rows.value(), 10);

  rows.setValue(rows.maximum());
  Append(5);
  EXPECT_EQ(rows.value(), 1010 - visible);
}

TEST_F(LogViewTest, LinesAreSelectedWholeAndCopied) {
  View.AppendLine("first é");
  View.AppendLine("second \xF0\x9F\x98\x80");
  Append(3);
  const struct {
    const char* Name;
    std::function<void()> Select;
    QString Copied;
  } cases[] = {
      {"a click", [&] { ClickRow(1); }, QStringLiteral("second \U0001F600")},
      {"a click and a shift-click", [&] {
         ClickRow(3);
         ClickRow(1, Qt::ShiftModifier);
       },
       QStringLiteral("second \U0001F600\nline 0\nline 1")},
      {"select all", [&] { QTest::keySequence(&View, QKeySequence::SelectAll); },
       QStringLiteral("first é\nsecond \U0001F600\nline 0\nline 1\nline 2")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    QApplication::clipboard()->clear();
    c.Select();
    QTest::keySequence(&View, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), c.Copied.toStdString());
  }
  EXPECT_EQ(View.toPlainText().toStdString(), cases[2].Copied.toStdString());
}

}  // namespace
