#include <gtest/gtest.h>

#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "FakeEngine.h"
#include "FreePort.h"
#include "LoopbackClient.h"
#include "RecordingErrorDisplay.h"
#include "SimulatedFPEngX.h"
#include "WebSocketServer.h"
#include "WsTestClient.h"
#include "uMain.h"

namespace {

constexpr int kDeadlineMs = 20000;

// Port 0 and no sensor control socket: the tests never meet a running instance.
TNqOptions TestOptions() {
  return TNqOptions{.InitialPort = u"0", .SensorSocketPath = ""};
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { Window = std::make_unique<TNq>(Queue, Errors, TestOptions()); }

  // The IPv4 wildcard port the bridge listens on after start-up.
  uint16_t StartPort() const { return Window->Bridge()->Server()->Bindings()[0].Port; }

  QStringList Log() const {
    return Window->logLines->toPlainText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  int CountLines(const QString& AEnding) const {
    int n = 0;
    for (const QString& line : Log()) n += line.endsWith(AEnding) ? 1 : 0;
    return n;
  }
  bool WaitForLines(const QString& AEnding, int ACount) const {
    return QTest::qWaitFor([&] { return CountLines(AEnding) >= ACount; }, kDeadlineMs);
  }
  bool WaitForCount(const QString& ACount) const {
    return QTest::qWaitFor([&] { return Window->clients_connected->text() == ACount; },
                           kDeadlineMs);
  }
  // Types the port and clicks "Change".
  void Change(const QString& APort) {
    Window->edPort->setText(APort);
    QTest::mouseClick(Window->btStart, Qt::LeftButton);
  }

  TRecordingErrorDisplay Errors;
  TQtMainThreadQueue Queue{Errors};
  std::unique_ptr<TNq> Window;
};

TEST_F(MainWindowTest, LayoutMatchesTheDesign) {
  Window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get(), kDeadlineMs));
  EXPECT_EQ(Window->windowTitle(), QStringLiteral("Tessiva"));
  EXPECT_EQ(Window->size(), QSize(628, 442));
  EXPECT_EQ(Window->font().pointSize(), 9);

  struct TExpected {
    const char* Name;
    QRect Geometry;  // an empty size checks the position only
    const char* Text;
  };
  const TExpected controls[] = {
      {"logLines", QRect(0, 0, 628, 442 - 123), ""},
      {"Panel2", QRect(0, 442 - 123, 628, 123), nullptr},
      {"lbPort", QRect(72, 35, 0, 0), "Port"},
      {"edPort", QRect(72, 56, 41, 23), "9090"},
      {"btStart", QRect(136, 55, 75, 25), "Change"},
      {"clients_connected", QRect(72, 96, 0, 0), ""},
      {"Label2", QRect(136, 96, 0, 0), "Clients connected"},
  };
  for (const TExpected& expected : controls) {
    SCOPED_TRACE(expected.Name);
    auto* control = Window->findChild<QWidget*>(QLatin1String(expected.Name));
    ASSERT_NE(control, nullptr);
    EXPECT_TRUE(control->isVisible());
    if (expected.Geometry.isEmpty())
      EXPECT_EQ(control->pos(), expected.Geometry.topLeft());
    else
      EXPECT_EQ(control->geometry(), expected.Geometry);
    if (expected.Text) {
      QString text = control->property("text").toString();
      if (auto* edit = qobject_cast<QPlainTextEdit*>(control)) text = edit->toPlainText();
      EXPECT_EQ(text, QLatin1String(expected.Text));
    }
  }
  EXPECT_EQ(Window->logLines->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Window->logLines->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_FALSE(Window->logLines->isReadOnly());

  // The log view follows the window's size; the panel keeps its height at the bottom.
  Window->resize(800, 600);
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Window->logLines->height() == 600 - 123; }, kDeadlineMs));
  EXPECT_EQ(Window->logLines->geometry(), QRect(0, 0, 800, 600 - 123));
  EXPECT_EQ(Window->Panel2->geometry(), QRect(0, 600 - 123, 800, 123));
}

TEST_F(MainWindowTest, KeyboardOrderIsPortBoxChangeButtonLogView) {
  Window->show();
  Window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(Window.get(), kDeadlineMs));
  EXPECT_EQ(QApplication::focusWidget(), Window->edPort);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Window->btStart);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), Window->logLines);
}

// The server listens as soon as the window exists; lines of a client that connects before the
// window is shown appear once the event loop runs.
TEST_F(MainWindowTest, ClientsBeforeAndAfterShowingAreLoggedAndCounted) {
  ASSERT_TRUE(Errors.Errors.empty());
  auto client = std::make_unique<TLoopbackClient>(StartPort());
  Window->show();
  ASSERT_TRUE(WaitForCount(QStringLiteral("1")));
  ASSERT_TRUE(WaitForLines(QStringLiteral(")"), 1));
  const QStringList log = Log();
  ASSERT_EQ(log.size(), 3);
  const QString stamp = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: : )");
  EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\[\] - )") + stamp +
                                 QStringLiteral("Client Connected$"))
                  .match(log[0])
                  .hasMatch())
      << log[0].toStdString();
  EXPECT_TRUE(log[1].endsWith(QStringLiteral(": : Client Connected!")));
  EXPECT_TRUE(
      log[2].contains(QStringLiteral("Port=%1 (PeerIP=127.0.0.1 - PeerPort=").arg(StartPort())));

  client.reset();
  ASSERT_TRUE(WaitForLines(QStringLiteral("Client disconnected"), 1));
  EXPECT_TRUE(WaitForCount(QStringLiteral("0")));
}

TEST_F(MainWindowTest, ChangeMovesTheServerToTheNewPort) {
  Window->show();
  const uint16_t oldPort = StartPort();
  TLoopbackClient before(oldPort);
  ASSERT_TRUE(WaitForCount(QStringLiteral("1")));

  const uint16_t newPort = FreeLoopbackPort();
  Change(QString::number(newPort));
  EXPECT_TRUE(Errors.Errors.empty());
  EXPECT_TRUE(before.WaitForClose());
  ASSERT_TRUE(WaitForLines(QStringLiteral("Client disconnected"), 1));
  EXPECT_TRUE(LoopbackPortRefuses(oldPort));

  TLoopbackClient after(newPort);
  ASSERT_TRUE(WaitForLines(QStringLiteral(")"), 2));
  EXPECT_EQ(Log().filter(QStringLiteral("Port=%1 (PeerIP=127.0.0.1").arg(newPort)).size(), 1);
  EXPECT_TRUE(WaitForCount(QStringLiteral("1")));
}

TEST_F(MainWindowTest, RejectedPortTextsShowTheErrorAndLeaveTheWindowUsable) {
  Window->show();
  const struct {
    const char* Port;
    const char* Error;
  } cases[] = {
      {"abc", "'abc' is not a valid integer value"},
      {"", "'' is not a valid integer value"},
      {"9090 ", "'9090 ' is not a valid integer value"},
      {"65536", "Range check error"},
      {"-1", "Range check error"},
  };
  for (const auto& rejected : cases) {
    SCOPED_TRACE(rejected.Port);
    Errors.Errors.clear();
    Change(QString::fromUtf8(rejected.Port));
    EXPECT_EQ(Errors.Errors, std::vector<std::string>{rejected.Error});
    EXPECT_TRUE(Window->isVisible());
    EXPECT_TRUE(Window->btStart->isEnabled());
  }

  // The next valid port still moves the server.
  Errors.Errors.clear();
  const uint16_t port = FreeLoopbackPort();
  Change(QStringLiteral("  %1").arg(port));
  EXPECT_TRUE(Errors.Errors.empty());
  TLoopbackClient client(port);
  EXPECT_TRUE(WaitForCount(QStringLiteral("1")));
}

// Another running instance holds the simulated sensor's control socket: the error is shown and
// the bridge runs without that socket.
TEST_F(MainWindowTest, ATakenSensorSocketIsShownAndTheBridgeStillRuns) {
  char pattern[] = "/tmp/tessiva-app-test-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  const std::filesystem::path directory(pattern);
  {
    TSimulatedFPEngX holder(Queue, (directory / "sensor.sock").string());
    TNqOptions options = TestOptions();
    options.SensorSocketPath = (directory / "sensor.sock").string();
    TRecordingErrorDisplay errors;
    TNq second(Queue, errors, options);
    ASSERT_EQ(errors.Errors.size(), 1u);
    EXPECT_NE(errors.Errors[0].find("Sensor control socket"), std::string::npos);
    ASSERT_NE(second.Bridge(), nullptr);
    TLoopbackClient client(second.Bridge()->Server()->Bindings()[0].Port);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return second.clients_connected->text() == "1"; }, kDeadlineMs));
  }
  std::filesystem::remove_all(directory);
}

// An engine that cannot create its fingerprint cache: the bridge's creation fails after the
// server listens.
class TNoCacheEngine final : public TFakeEngine {
 public:
  int32_t CreateFPCacheDB() override { throw EOleException("No fingerprint cache"); }
};

// The error box runs the event loop while it is open; the lines of a client that connects
// meanwhile must reach the window's log, not a view that is not attached yet.
TEST(MainWindowStartUpTest, LinesShownWhileTheStartUpErrorIsOpenReachTheWindow) {
  TRecordingErrorDisplay errors;
  TQtMainThreadQueue queue(errors);
  const uint16_t port = FreeLoopbackPort();
  TNqOptions options = TestOptions();
  options.InitialPort = QString::number(port).toStdU16String();
  options.CreateEngine = [] { return std::make_unique<TNoCacheEngine>(); };
  std::unique_ptr<TWsTestClient> client;
  errors.OnShow = [&] {
    // The reply comes after the connection's lines were queued; the marker queued after the reply
    // runs after them.
    client = std::make_unique<TWsTestClient>(port);
    client->SendText(R"({"act":"verify"})");
    ASSERT_TRUE(client->ReceiveText());
    bool drained = false;
    std::thread([&] { queue.Queue([&] { drained = true; }); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return drained; }, kDeadlineMs));
  };
  TNq window(queue, errors, options);
  EXPECT_EQ(errors.Errors, std::vector<std::string>{"No fingerprint cache"});
  const QString log = window.logLines->toPlainText();
  EXPECT_TRUE(log.contains(QStringLiteral(": : Client Connected!"))) << log.toStdString();
  EXPECT_TRUE(log.contains(QStringLiteral("Verify Mode success"))) << log.toStdString();
  EXPECT_EQ(window.clients_connected->text(), QStringLiteral("1"));
}

// Closing with clients connected and their lines still queued: every connection is closed,
// and what is queued afterwards never touches the destroyed window.
TEST_F(MainWindowTest, ClosingWithClientsAndQueuedLinesIsClean) {
  Window->show();
  std::vector<std::unique_ptr<TLoopbackClient>> clients;
  for (int i = 0; i < 4; ++i) clients.push_back(std::make_unique<TLoopbackClient>(StartPort()));
  // Accepted, but the event loop has not run: their lines are still queued when the window
  // closes.
  ASSERT_TRUE(WaitFor([&] { return Window->Bridge()->Server()->Contexts().Count() == 4; }));
  Window->close();
  for (auto& client : clients) EXPECT_TRUE(client->WaitForClose());
  EXPECT_EQ(CountLines(QStringLiteral("Client disconnected")), 4);
  EXPECT_TRUE(Errors.Errors.empty());

  TWebSocketServerForm* bridge = Window->Bridge();
  std::thread([bridge] { bridge->log(u"late", u"after close"); }).join();
  Window.reset();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

TEST_F(MainWindowTest, Screenshot) {
  Window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get(), kDeadlineMs));
  TLoopbackClient client(StartPort());
  ASSERT_TRUE(WaitForCount(QStringLiteral("1")));
  ASSERT_TRUE(WaitForLines(QStringLiteral(")"), 1));

  const QPixmap shot = Window->grab();
  EXPECT_EQ(shot.deviceIndependentSize().toSize(), QSize(628, 442));
  ASSERT_TRUE(shot.save(QStringLiteral(TESSIVA_SCREENSHOT)));
  EXPECT_FALSE(QImage(QStringLiteral(TESSIVA_SCREENSHOT)).isNull());
}

}  // namespace
