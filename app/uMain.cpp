#include "uMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "FprintFPEngX.h"
#include "LogView.h"
#include "SelectingFPEngX.h"
#include "SimulatedFPEngX.h"
#include "Utf8Text.h"

namespace {

constexpr int kClientWidth = 628;
constexpr int kClientHeight = 442;
constexpr int kPanelHeight = 123;
constexpr int kFontPointSize = 9;

template <class TControl>
TControl* NewControl(QWidget* AParent, const char* AName) {
  auto* control = new TControl(AParent);
  control->setObjectName(QLatin1String(AName));
  return control;
}

}  // namespace

TNq::TNq(TQtMainThreadQueue& AQueue, IErrorDisplay& AErrors, TNqOptions AOptions)
    : FQueue(AQueue), FErrors(AErrors), FOptions(std::move(AOptions)) {
  CreateControls();
  FLogView = std::make_unique<TLogViewAdapter>(*logLines, FQueue, FOptions.LogTee);
  FCountView = std::make_unique<TLabelCountView>(*clients_connected);
  FormCreate();
}

TNq::~TNq() {
  DetachBridge();
  wss.reset();
}

void TNq::CreateControls() {
  setObjectName(QStringLiteral("Nq"));
  setWindowTitle(QStringLiteral("Tessiva"));
  // The platform's own UI font at the size the layout was drawn for.
  QFont uiFont = QApplication::font();
  uiFont.setPointSize(kFontPointSize);
  setFont(uiFont);
  resize(kClientWidth, kClientHeight);

  logLines = NewControl<TLogView>(this, "logLines");
  logLines->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  logLines->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Log lines are plain ASCII in the main: skipping text shaping where the font allows it keeps
  // painting them cheap.
  QFont logFont = logLines->font();
  logFont.setStyleStrategy(QFont::PreferNoShaping);
  logLines->setFont(logFont);

  Panel2 = NewControl<QFrame>(this, "Panel2");
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setFixedHeight(kPanelHeight);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(logLines, 1);
  layout->addWidget(Panel2);

  lbPort = NewControl<QLabel>(Panel2, "lbPort");
  lbPort->setText(QStringLiteral("Port"));
  lbPort->move(72, 35);
  lbPort->adjustSize();

  edPort = NewControl<QLineEdit>(Panel2, "edPort");
  edPort->setText(QString::fromStdU16String(FOptions.PortBox));
  edPort->setGeometry(72, 56, 41, 23);

  btStart = NewControl<QPushButton>(Panel2, "btStart");
  btStart->setText(QStringLiteral("Change"));
  btStart->setGeometry(136, 55, 75, 25);
  connect(btStart, &QPushButton::clicked, this, &TNq::btStartClick);

  clients_connected = NewControl<QLabel>(Panel2, "clients_connected");
  // Room for the count up to the caption on its right.
  clients_connected->setGeometry(72, 96, 60, clients_connected->sizeHint().height());

  Label2 = NewControl<QLabel>(Panel2, "Label2");
  Label2->setText(QStringLiteral("Clients connected"));
  Label2->move(136, 96);
  Label2->adjustSize();

  setTabOrder(edPort, btStart);
  setTabOrder(btStart, logLines);
  edPort->setFocus();
}

void TNq::FormCreate() {
  try {
    wss = std::make_unique<TWebSocketServerForm>(FQueue, CreateEngine());
  } catch (...) {
    FStartUpError = std::current_exception();
    ShowCurrentException(FErrors);
    return;
  }
  wss->edPort = FOptions.InitialPort;
  wss->ListenOn = FOptions.Listen;
  wss->OnTerminate = [] { QCoreApplication::quit(); };
  // Lent before the server starts: an error box's nested loop may show the lines of clients that
  // connect meanwhile.
  wss->SetMessagesLog(FLogView.get());
  wss->SetClientsConnected(FCountView.get());
  FGLibLog = std::make_unique<TGLibLogForwarding>(
      [bridge = wss.get()](const std::string& ALine) { bridge->log(u"GLib", FromUtf8(ALine)); });
  try {
    wss->FormCreate();
  } catch (...) {
    FStartUpError = std::current_exception();
    ShowCurrentException(FErrors);
  }
}

std::unique_ptr<TNqFPEngX> TNq::CreateEngine() {
  if (FOptions.CreateEngine) return FOptions.CreateEngine();
  std::unique_ptr<TSimulatedFPEngX> simulated;
  try {
    simulated = std::make_unique<TSimulatedFPEngX>(FQueue, FOptions.SensorSocketPath);
  } catch (const EOleException&) {
    // Typically another running instance holds the control socket; the sensor then works
    // without it.
    ShowCurrentException(FErrors);
    simulated = std::make_unique<TSimulatedFPEngX>(FQueue, std::string());
  }
  // A reader attached at an init serves; without one the simulated sensor does.
  TSimulatedFPEngX& fallback = *simulated;
  return std::make_unique<TSelectingFPEngX>(
      std::make_unique<TFprintFPEngX>(FQueue), std::move(simulated),
      [&fallback](bool AReaderPicked) { fallback.SetReaderInUse(AReaderPicked); });
}

void TNq::btStartClick() {
  if (!wss) {
    FErrors.ShowError("The bridge is not running");
    return;
  }
  try {
    wss->start(edPort->text().toStdU16String());
  } catch (...) {
    ShowCurrentException(FErrors);
  }
}

void TNq::closeEvent(QCloseEvent* AEvent) {
  FormClose();
  AEvent->accept();
}

void TNq::FormClose() {
  // SIGTERM after the window was closed must not close the bridge twice.
  if (FClosed) return;
  FClosed = true;
  if (!wss) {
    QCoreApplication::quit();
    return;
  }
  try {
    wss->FormClose();
  } catch (...) {
    ShowCurrentException(FErrors);
  }
  // Every connection thread has ended: show their last lines (the disconnects) while the views
  // are still attached.
  FQueue.Drain();
}

void TNq::DetachBridge() {
  FGLibLog.reset();
  if (!wss) return;
  wss->SetMessagesLog(nullptr);
  wss->SetClientsConnected(nullptr);
}
