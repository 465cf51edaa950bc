#include <gtest/gtest.h>

#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "FakeEngine.h"
#include "FreePort.h"
#include "LogView.h"
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
      // The log already holds the start-up line.
      {"logLines", QRect(0, 0, 628, 442 - 123), nullptr},
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
      EXPECT_EQ(control->property("text").toString(), QLatin1String(expected.Text));
    }
  }
  EXPECT_EQ(Window->logLines->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(Window->logLines->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

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
  ASSERT_EQ(log.size(), 4);
  // The start-up line is shown too: the views were lent before the server started.
  EXPECT_TRUE(log[0].contains(QStringLiteral(" listening on 0.0.0.0:%1").arg(StartPort())))
      << log[0].toStdString();
  const QString stamp = QStringLiteral(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d: : )");
  EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^\[\] - )") + stamp +
                                 QStringLiteral("Client Connected$"))
                  .match(log[1])
                  .hasMatch())
      << log[1].toStdString();
  EXPECT_TRUE(log[2].endsWith(QStringLiteral(": : Client Connected!")));
  EXPECT_TRUE(
      log[3].contains(QStringLiteral("Port=%1 (PeerIP=127.0.0.1 - PeerPort=").arg(StartPort())));

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

// The bridge's tests hold the table of port texts; here: the error reaches the box, the window
// stays usable and the page connected before keeps its connection.
TEST_F(MainWindowTest, ARejectedPortTextIsShownAndTheClientsStay) {
  Window->show();
  TLoopbackClient page(StartPort());
  ASSERT_TRUE(WaitForCount(QStringLiteral("1")));
  Change(QStringLiteral("abc"));
  EXPECT_EQ(Errors.Errors, std::vector<std::string>{"'abc' is not a valid integer value"});
  EXPECT_TRUE(Window->isVisible());
  EXPECT_TRUE(Window->btStart->isEnabled());
  EXPECT_TRUE(page.NothingWithin(std::chrono::milliseconds(50)));
  EXPECT_EQ(CountLines(QStringLiteral("Client disconnected")), 0);

  Errors.Errors.clear();
  const uint16_t port = FreeLoopbackPort();
  Change(QStringLiteral("  %1").arg(port));
  EXPECT_TRUE(Errors.Errors.empty());
  EXPECT_TRUE(page.WaitForClose());
  TLoopbackClient client(port);
  const QString portLine = QStringLiteral("Port=%1 (PeerIP=127.0.0.1").arg(port);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !Log().filter(portLine).isEmpty(); }, kDeadlineMs));
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

// A command's state can be a MiB and is echoed into the log: the window keeps a cut line that
// says how long the whole one was.
TEST_F(MainWindowTest, AHugeLogLineIsShownCut) {
  const std::u16string message(1 << 20, u'x');
  Window->Bridge()->log(u"big", message);
  const QString last = Log().last();
  EXPECT_LT(last.size(), 5000);
  EXPECT_TRUE(last.startsWith(QStringLiteral("[big] - "))) << last.left(40).toStdString();
  const qsizetype lineBytes = QStringLiteral("[big] - 2026-12-10 13:00:00: : ").size() + (1 << 20);
  EXPECT_TRUE(last.endsWith(QStringLiteral("xxx... (%1 bytes)").arg(lineBytes)))
      << last.right(40).toStdString();
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

// The start-up options reach the bridge and the port box: the server listens on the given
// address only, and "Change" moves that address, not every interface, to the typed port.
TEST(MainWindowOptionsTest, ListenAddressesAndThePortBoxComeFromTheOptions) {
  TRecordingErrorDisplay errors;
  TQtMainThreadQueue queue(errors);
  TNqOptions options = TestOptions();
  options.PortBox = u"9091";
  // Not 127.0.0.1, where "Change" moves the server without addresses of its own.
  options.Listen = {{u"127.0.0.2", Id_IPv4}};
  TNq window(queue, errors, options);
  EXPECT_EQ(window.edPort->text(), QStringLiteral("9091"));
  TWebSocketServer& server = *window.Bridge()->Server();
  ASSERT_EQ(server.Bindings().Count(), 1);
  EXPECT_EQ(server.Bindings()[0].IP, u"127.0.0.2");
  const uint16_t port = FreeLoopbackPort();
  window.edPort->setText(QString::number(port));
  QTest::mouseClick(window.btStart, Qt::LeftButton);
  EXPECT_TRUE(errors.Errors.empty());
  ASSERT_EQ(server.Bindings().Count(), 1);
  EXPECT_EQ(server.Bindings()[0].IP, u"127.0.0.2");
  EXPECT_EQ(server.Bindings()[0].Port, port);
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

// Which pixel rows of AWidget hold dark ink (text) on its light background.
std::vector<bool> InkRows(QWidget& AWidget) {
  const QImage image = AWidget.grab().toImage();
  std::vector<bool> rows(size_t(image.height()), false);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width() && !rows[size_t(y)]; ++x)
      rows[size_t(y)] = qGray(image.pixel(x, y)) < 128;
  return rows;
}

// What the user sees: the log's lines at the top of the view and nothing under them, and the
// count. The picture is kept as the test's artifact.
TEST_F(MainWindowTest, TheWindowPaintsTheLogLinesAndTheCount) {
  Window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Window.get(), kDeadlineMs));
  TLoopbackClient client(StartPort());
  ASSERT_TRUE(WaitForCount(QStringLiteral("1")));
  ASSERT_TRUE(WaitForLines(QStringLiteral(")"), 1));
  ASSERT_EQ(Log().size(), 4);

  const std::vector<bool> ink = InkRows(*Window->logLines->viewport());
  const size_t line = size_t(Window->logLines->fontMetrics().lineSpacing());
  for (size_t row = 0; row < 4; ++row)
    EXPECT_TRUE(std::find(ink.begin() + row * line, ink.begin() + (row + 1) * line, true) !=
                ink.begin() + (row + 1) * line)
        << "line " << row << " is not painted";
  EXPECT_TRUE(std::find(ink.begin() + 5 * line, ink.end(), true) == ink.end())
      << "ink below the last line";
  const std::vector<bool> count = InkRows(*Window->clients_connected);
  EXPECT_TRUE(std::find(count.begin(), count.end(), true) != count.end());
  EXPECT_TRUE(Window->grab().save(QStringLiteral(TESSIVA_SCREENSHOT)));
}

}  // namespace
