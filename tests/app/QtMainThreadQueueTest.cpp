#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "IdException.h"
#include "LogView.h"
#include "LogViewAdapter.h"
#include "QtMainThreadQueue.h"
#include "RecordingErrorDisplay.h"

namespace {

constexpr int kDeadlineMs = 20000;

class QtMainThreadQueueTest : public ::testing::Test {
 protected:
  // Queues the procedures from a helper thread and returns once it has ended; nothing runs
  // before the test lets the event loop run.
  void QueueFromThread(std::vector<std::function<void()>> AProcs) {
    std::thread([&] {
      for (auto& proc : AProcs) Queue.Queue(std::move(proc));
    }).join();
  }

  TRecordingErrorDisplay Errors;
  TQtMainThreadQueue Queue{Errors};
};

TEST_F(QtMainThreadQueueTest, RunsAtOnceOnTheMainThread) {
  bool ran = false;
  Queue.Queue([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST_F(QtMainThreadQueueTest, OtherThreadsQueueInOrderWithoutWaiting) {
  constexpr int kPerThread = 2000;
  std::vector<int> seen[2];
  int ran = 0;
  const auto mainThread = std::this_thread::get_id();
  bool allOnMainThread = true;
  {
    std::vector<std::jthread> producers;
    for (int t = 0; t < 2; ++t)
      producers.emplace_back([&, t] {
        for (int i = 0; i < kPerThread; ++i)
          Queue.Queue([&, t, i] {
            seen[t].push_back(i);
            ++ran;
            allOnMainThread = allOnMainThread && std::this_thread::get_id() == mainThread;
          });
      });
  }
  // Both producers have finished although the main thread has not run anything yet.
  EXPECT_EQ(ran, 0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return ran == 2 * kPerThread; }, kDeadlineMs));
  EXPECT_TRUE(allOnMainThread);
  for (const auto& sequence : seen) {
    ASSERT_EQ(sequence.size(), size_t(kPerThread));
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(sequence[i], i);
  }
}

// While busy the main thread drains without being woken; once it has stopped after a quiet spell,
// the next procedure must wake it again, however the two fall together.
TEST_F(QtMainThreadQueueTest, ProceduresQueuedAfterQuietSpellsStillRun) {
  int ran = 0;
  for (const int quietMs : {0, 1, 5, 20, 60, 150, 400}) {
    const int before = ran;
    QueueFromThread({[&] { ++ran; }});
    ASSERT_TRUE(QTest::qWaitFor([&] { return ran == before + 1; }, kDeadlineMs)) << quietMs;
    QTest::qWait(quietMs);
  }
}

TEST_F(QtMainThreadQueueTest, AFailingProcedureIsShownAndTheRestStillRuns) {
  std::vector<std::string> ran;
  QueueFromThread({
      [&] { ran.push_back("first"); },
      [] { throw std::runtime_error("engine failed"); },
      [] { throw EAbort(); },
      [] { throw EIdConnClosedGracefully(); },
      [&] { ran.push_back("last"); },
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 2; }, kDeadlineMs));
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "last"}));
  // Control-flow exceptions are not errors for the user.
  EXPECT_EQ(Errors.Errors, std::vector<std::string>{"engine failed"});
}

// A modal message box runs the event loop while a drain is in progress; procedures queued
// meanwhile must still run after the ones queued before them.
TEST_F(QtMainThreadQueueTest, AnErrorBoxThatRunsTheEventLoopKeepsTheOrder) {
  std::vector<std::string> ran;
  Errors.OnShow = [&] {
    QueueFromThread({[&] { ran.push_back("queued while the box is open"); }});
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  };
  QueueFromThread({
      [&] {
        ran.push_back("failing");
        throw std::runtime_error("shown in a box");
      },
      [&] { ran.push_back("queued before the box"); },
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return ran.size() == 3; }, kDeadlineMs));
  EXPECT_EQ(ran, (std::vector<std::string>{"failing", "queued before the box",
                                           "queued while the box is open"}));
}

TEST_F(QtMainThreadQueueTest, PendingProceduresAreDroppedWithTheQueue) {
  TRecordingErrorDisplay errors;
  auto queue = std::make_unique<TQtMainThreadQueue>(errors);
  auto capture = std::make_shared<int>(0);
  bool ran = false;
  std::thread([&] { queue->Queue([&ran, capture] { ran = true; }); }).join();
  queue.reset();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(ran);
  EXPECT_EQ(capture.use_count(), 1);
}

struct TTempFile {
  TTempFile() : File(std::tmpfile()) {}
  ~TTempFile() { std::fclose(File); }
  std::string Contents() const {
    std::fflush(File);
    std::rewind(File);
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, File)) > 0) text.append(buffer, n);
    return text;
  }
  std::FILE* const File;
};

TEST_F(QtMainThreadQueueTest, LogLinesFromOtherThreadsReachTheViewInOrderInOneLayout) {
  TLogView view;
  TTempFile tee;
  TLogViewAdapter log(view, Queue, tee.File);
  QSignalSpy layouts(view.verticalScrollBar(), &QScrollBar::rangeChanged);

  constexpr int kLines = 3000;
  std::vector<std::function<void()>> procs;
  QStringList expected;
  for (int i = 0; i < kLines; ++i) {
    const std::u16string line = u"line " + QString::number(i).toStdU16String();
    procs.push_back([&log, line] { log.AppendLine(line); });
    expected.push_back(QString::fromStdU16String(line));
  }
  QueueFromThread(std::move(procs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return layouts.count() > 0; }, kDeadlineMs));

  EXPECT_EQ(view.toPlainText(), expected.join(QLatin1Char('\n')));
  EXPECT_EQ(layouts.count(), 1);
  EXPECT_EQ(tee.Contents(), (expected.join(QLatin1Char('\n')) + QLatin1Char('\n')).toStdString());

  // On the main thread, outside a drain, a line is kept at once.
  log.AppendLine(u"direct");
  EXPECT_EQ(view.Line(view.LineCount() - 1), QStringLiteral("direct"));
}

}  // namespace
