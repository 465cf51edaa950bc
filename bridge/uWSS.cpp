#include "uWSS.h"

#include <ctime>
#include <exception>
#include <optional>

#include "ClientCommand.h"
#include "IntegerText.h"
#include "LocalTimeText.h"
#include "PortText.h"
#include "WebSocketServer.h"

namespace {

// What a binding listens on, kept while the server is stopped so that it can listen there again.
struct TBoundAddress {
  TListenAddress Address;
  uint16_t Port;
};

std::vector<TBoundAddress> BoundAddresses(TWebSocketServer& AServer) {
  std::vector<TBoundAddress> addresses;
  for (int i = 0; i < AServer.Bindings().Count(); ++i) {
    const TIdSocketHandle& binding = AServer.Bindings()[i];
    addresses.push_back({{binding.IP, binding.IPVersion}, binding.Port});
  }
  return addresses;
}

std::vector<TBoundAddress> AtPort(const std::vector<TListenAddress>& AAddresses, uint16_t APort) {
  std::vector<TBoundAddress> addresses;
  for (const TListenAddress& address : AAddresses) addresses.push_back({address, APort});
  return addresses;
}

void Listen(TWebSocketServer& AServer, const std::vector<TBoundAddress>& AAddresses) {
  AServer.Bindings().Clear();
  for (const TBoundAddress& address : AAddresses) {
    TIdSocketHandle& binding = AServer.Bindings().Add();
    binding.IP = address.Address.IP;
    binding.Port = address.Port;
    binding.IPVersion = address.Address.IPVersion;
  }
  AServer.SetActive(true);
}

// Says which program answers and where pages find it.
std::u16string ListeningText(TWebSocketServer& AServer) {
  std::u16string text = u"Tessiva " TESSIVA_VERSION u" listening on ";
  const char16_t* separator = u"";
  for (const TBoundAddress& bound : BoundAddresses(AServer)) {
    const TListenAddress& address = bound.Address;
    const bool v6 = address.IPVersion == Id_IPv6;
    text.append(separator).append(v6 ? u"[" : u"").append(address.IP).append(v6 ? u"]" : u"");
    text.append(u":").append(IntToStr(bound.Port));
    separator = u", ";
  }
  return text;
}

// The length of GetNow's text (four-digit years): log lines keep this much room for it.
constexpr size_t kLogTimeRoom = 21;

// A log line put together in one piece, with room for the time, which is written in when the line
// is shown: one allocation per line, and no copying on the main thread.
struct TLogLine {
  std::u16string Text;
  size_t TimeAt;
};

TLogLine LogLine(std::u16string_view ASender, std::u16string_view AMessage) {
  TLogLine line{{}, ASender.size() + 5};
  line.Text.reserve(line.TimeAt + kLogTimeRoom + 2 + AMessage.size());
  line.Text.append(u"[").append(ASender).append(u"] - ");
  line.Text.append(kLogTimeRoom, u' ').append(u": ").append(AMessage);
  return line;
}

void ShowLogLine(ILogView& AView, TLogLine& ALine) {
  ALine.Text.replace(ALine.TimeAt, kLogTimeRoom, LocalTimeText(std::time(nullptr)));
  AView.AppendLine(ALine.Text);
}

}  // namespace

// The window's controls as the queued procedures see them. Touched on the main thread only.
struct TWebSocketServerForm::TOutputs {
  ILogView* Log = nullptr;
  ICountView* Count = nullptr;
};

TWebSocketServerForm::TWebSocketServerForm(IMainThreadQueue& AQueue,
                                           std::unique_ptr<TNqFPEngX> AEngine)
    : FQueue(AQueue), NqFPEngX1(std::move(AEngine)), FOutputs(std::make_shared<TOutputs>()) {
  NqFPEngX1->OnCapture = [this](TNqFPEngX* ASender, bool AResult, const OleVariant& ATemplate) {
    NqFPEngX1Capture(ASender, AResult, ATemplate);
  };
  NqFPEngX1->OnEnroll = [this](TNqFPEngX* ASender, bool AResult, const OleVariant& ATemplate) {
    NqFPEngX1Enroll(ASender, AResult, ATemplate);
  };
  NqFPEngX1->OnFeatureInfo = [this](TNqFPEngX* ASender, int32_t AQuality) {
    NqFPEngX1FeatureInfo(ASender, AQuality);
  };
  NqFPEngX1->OnNotice = [this](TNqFPEngX*, const std::u16string& AText) {
    log(u"fingerprint", AText);
  };
}

TWebSocketServerForm::~TWebSocketServerForm() {
  ReleaseServer();
  FOutputs->Log = nullptr;
  FOutputs->Count = nullptr;
  NqFPEngX1->OnCapture = nullptr;
  NqFPEngX1->OnEnroll = nullptr;
  NqFPEngX1->OnFeatureInfo = nullptr;
  NqFPEngX1->OnNotice = nullptr;
}

void TWebSocketServerForm::FormCreate() {
  CountClientsForEngine(0);
  FServerOwner = std::make_unique<TWebSocketServer>();
  FServer = FServerOwner.get();
  FServerOwner->SetDefaultPort(StrToPort(edPort));
  FServerOwner->OnExecute = [this](TIdContext* AContext) { OnWebSocketExecute(AContext); };
  FServerOwner->OnConnect = [this](TIdContext* AContext) { OnWebSocketConnected(AContext); };
  FServerOwner->OnDisconnect = [this](TIdContext* AContext) { OnWebSocketDisconnected(AContext); };
  if (ListenOn.empty())
    FServerOwner->SetActive(true);
  else
    Listen(*FServerOwner, AtPort(ListenOn, FServerOwner->DefaultPort()));
  log(u"SERVER", ListeningText(*FServerOwner));
  FPID = 1;
  fpcHandle = NqFPEngX1->CreateFPCacheDB();
}

void TWebSocketServerForm::FormClose() {
  FClosing = true;
  // A cache that was never created (start-up failed) must not keep the server from closing.
  const int32_t cache = fpcHandle.exchange(0);
  if (cache != 0) NqFPEngX1->FreeFPCacheDB(cache);
  ReleaseServer();
  if (OnTerminate) OnTerminate();
}

void TWebSocketServerForm::ReleaseServer() {
  FServer = nullptr;
  // Destruction deactivates: every connection is closed and its thread waited for.
  FServerOwner.reset();
}

void TWebSocketServerForm::start(const std::u16string& port) {
  if (!FServerOwner) throw std::runtime_error("The server was not created");
  // A text the port box rejects must not cost the clients their connections.
  const uint16_t newPort = StrToPort(port);
  TWebSocketServer& server = *FServerOwner;
  const bool wasActive = server.Active();
  const std::vector<TBoundAddress> before = BoundAddresses(server);
  if (wasActive) server.SetActive(false);
  try {
    Listen(server, AtPort(ListenOn.empty() ? std::vector<TListenAddress>{{u"127.0.0.1", Id_IPv4}}
                                           : ListenOn,
                          newPort));
  } catch (const std::exception& e) {
    if (!wasActive) throw;
    // Pages that found the bridge where it was must still find it there.
    try {
      Listen(server, before);
    } catch (const std::exception& again) {
      throw std::runtime_error(
          std::string(e.what()) +
          "\nListening again where the server listened before failed too: " + again.what());
    }
    throw;
  }
  log(u"SERVER", ListeningText(server));
}

std::u16string TWebSocketServerForm::GetNow() {
  return LocalTimeText(std::time(nullptr));
}

thread_local TWebSocketServerForm::TQueuedTogether* TWebSocketServerForm::FQueuedTogether = nullptr;

TWebSocketServerForm::TQueuedTogether::TQueuedTogether(TWebSocketServerForm& AForm)
    : FForm(AForm), FOuter(FQueuedTogether) {
  FQueuedTogether = this;
}

TWebSocketServerForm::TQueuedTogether::~TQueuedTogether() {
  FQueuedTogether = FOuter;
  if (FUpdates.empty()) return;
  try {
    FForm.FQueue.Queue([updates = std::move(FUpdates)] {
      for (const auto& update : updates) update();
    });
  } catch (...) {
    // Out of memory: the window misses these lines, the connection goes on.
  }
}

void TWebSocketServerForm::QueueToWindow(std::function<void()> AUpdate) {
  if (FQueuedTogether && &FQueuedTogether->FForm == this)
    FQueuedTogether->FUpdates.push_back(std::move(AUpdate));
  else
    FQueue.Queue(std::move(AUpdate));
}

void TWebSocketServerForm::log(std::u16string_view p_sender, std::u16string_view p_message) {
  QueueToWindow([outputs = FOutputs, line = LogLine(p_sender, p_message)]() mutable {
    if (outputs->Log) ShowLogLine(*outputs->Log, line);
  });
}

void TWebSocketServerForm::LogCommand(std::u16string_view ASender,
                                      std::shared_ptr<const TClientCommand> ACommand) {
  // Written as text on the main thread: the connection thread goes on with the command.
  QueueToWindow(
      [outputs = FOutputs, sender = std::u16string(ASender), command = std::move(ACommand)] {
        if (!outputs->Log) return;
        TLogLine line = LogLine(sender, command->LogText());
        ShowLogLine(*outputs->Log, line);
      });
}

void TWebSocketServerForm::ShowNumberOfClients(bool p_disconnected) {
  int count = 0;
  if (TWebSocketServer* server = FServer.load()) count = server->Contexts().Count();
  // The departing connection is still listed. While the server is being released at close the
  // list is not consulted; the count then stays at 0 instead of going negative.
  if (p_disconnected && count > 0) --count;
  QueueToWindow([outputs = FOutputs, count] {
    if (outputs->Count) outputs->Count->SetText(IntToStr(count));
  });
}

void TWebSocketServerForm::OnWebSocketConnected(TIdContext* AContext) {
  std::optional<TQueuedTogether> together(std::in_place, *this);
  TIdIOHandlerSocket* socket = AContext->Connection()->Socket();
  const std::u16string boundIP = socket ? socket->BoundIP : std::u16string();
  log(boundIP, u"Client Connected");
  TIdSocketHandle* binding = AContext->Binding();
  const std::u16string port = binding ? IntToStr(binding->Port) : u"0";
  const std::u16string peerIP = binding ? binding->PeerIP : std::u16string();
  const std::u16string peerPort = binding ? IntToStr(binding->PeerPort) : u"0";
  ShowNumberOfClients(false);
  log(u"SERVER", u"Client Connected!");
  log(u"SERVER",
      u"Port=" + port + u" " + u"(PeerIP=" + peerIP + u" - " + u"PeerPort=" + peerPort + u")");
  // Queued before the engine hears of the client, whose notices are lines of their own.
  together.reset();
  CountClientsForEngine(+1);
}

void TWebSocketServerForm::OnWebSocketDisconnected(TIdContext* AContext) {
  {
    const TQueuedTogether together(*this);
    TIdIOHandlerSocket* socket = AContext->Connection()->Socket();
    log(socket ? socket->BoundIP : std::u16string(), u"Client disconnected");
    ShowNumberOfClients(true);
  }
  CountClientsForEngine(-1);
}

void TWebSocketServerForm::CountClientsForEngine(int32_t AChange) {
  std::lock_guard lock(FClientCountLock);
  FClientCount += AChange;
  NqFPEngX1->SetClientCount(FClientCount);
}

void TWebSocketServerForm::SetMessagesLog(ILogView* AView) {
  FOutputs->Log = AView;
}

void TWebSocketServerForm::SetClientsConnected(ICountView* AView) {
  FOutputs->Count = AView;
}

std::u16string TWebSocketServerForm::LastState() const {
  std::lock_guard lock(FTextLock);
  return gState;
}

std::u16string TWebSocketServerForm::RegTemplate10() const {
  std::lock_guard lock(FTextLock);
  return sRegTemplate10;
}
