#include <gtest/gtest.h>

#include <QByteArray>
#include <QStandardPaths>
#include <QString>
#include <QtGlobal>
#include <exception>
#include <string>
#include <vector>

#include "HeadlessMode.h"
#include "IdException.h"
#include "NqFPEngXControl_TLB.h"

namespace {

TEST(HeadlessModeTest, AFailedStartUpIsOneLineSayingWhy) {
  const struct {
    std::exception_ptr Error;
    const char* Line;
  } cases[] = {
      {std::make_exception_ptr(EIdSocketError(10048)),
       "tessiva: port 9090 is already in use: is another Tessiva running?"},
      {std::make_exception_ptr(EIdSocketError(10024)),
       "tessiva: cannot listen on port 9090: Socket Error # 10024 Too many open files."},
      {std::make_exception_ptr(EOleException("No fingerprint cache")),
       "tessiva: cannot start: No fingerprint cache"},
  };
  for (const auto& c : cases) EXPECT_EQ(StartUpFailureLine(c.Error, "9090"), c.Line);
}

std::vector<std::string> GMessages;

void RecordMessage(QtMsgType, const QMessageLogContext&, const QString& AMessage) {
  GMessages.push_back(AMessage.toStdString());
}

// Without XDG_RUNTIME_DIR Qt says where it keeps its runtime files instead; that notice is
// skipped, and any other message still gets through.
TEST(HeadlessModeTest, OnlyTheRuntimeDirectoryNoticeIsSkipped) {
  const QByteArray runtimeDirectory = qgetenv("XDG_RUNTIME_DIR");
  qunsetenv("XDG_RUNTIME_DIR");
  GMessages.clear();
  const QtMessageHandler previous = qInstallMessageHandler(RecordMessage);
  {
    const TSkipRuntimeDirectoryNotice skip;
    QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    qWarning("another warning");
  }
  qInstallMessageHandler(previous);
  if (!runtimeDirectory.isEmpty()) qputenv("XDG_RUNTIME_DIR", runtimeDirectory);
  EXPECT_EQ(GMessages, std::vector<std::string>{"another warning"});
}

}  // namespace
