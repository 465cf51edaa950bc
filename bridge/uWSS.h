#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BridgeViews.h"
#include "IdTextEncoding.h"
#include "ListenAddress.h"
#include "MainThreadQueue.h"
#include "NqFPEngXControl_TLB.h"

class TWebSocketServer;
class TIdContext;
class TClientCommand;
class TJsonObject;
class TJsonReplyWriter;

// The bridge between the WebSocket clients and the fingerprint engine: it answers client
// commands, reports sensor events, and broadcasts every message to all upgraded clients.
//
// Threads: creation, closing, restart and the sensor-event handlers run on the main thread; the
// connect, execute and disconnect handlers run on connection threads. Log lines and count updates
// reach the window only through the main-thread queue, and never wait for the main thread.
class TWebSocketServerForm {
 public:
  TWebSocketServerForm(IMainThreadQueue& AQueue, std::unique_ptr<TNqFPEngX> AEngine);
  ~TWebSocketServerForm();
  TWebSocketServerForm(const TWebSocketServerForm&) = delete;
  TWebSocketServerForm& operator=(const TWebSocketServerForm&) = delete;

  // Creates and starts the server on the port of edPort and the fingerprint cache. An error skips
  // the remaining steps and goes to the caller; the bridge then stays usable.
  void FormCreate();
  // Releases the cache and the server (every client disconnected), then asks the application to
  // terminate.
  void FormClose();
  // Restarts the server at the given port text, on ListenOn, or on 127.0.0.1 when that is empty.
  // Errors go to the caller: a rejected text stops nothing, and when the new port cannot be bound
  // the server listens again where it listened before.
  void start(const std::u16string& port);

  void log(std::u16string_view p_sender, std::u16string_view p_message);
  // Logs a client's command as compact JSON, written on the main thread.
  void LogCommand(std::u16string_view ASender, std::shared_ptr<const TClientCommand> ACommand);
  static std::u16string GetNow();
  void ShowNumberOfClients(bool p_disconnected);

  void OnWebSocketConnected(TIdContext* AContext);
  void OnWebSocketDisconnected(TIdContext* AContext);
  void OnWebSocketExecute(TIdContext* AContext);

  // Adds the members every message ends with; AEvent is the message's "event".
  void AddStandardJsonData(TJsonReplyWriter& json, std::u16string_view AEvent);
  void WebSocketSendDataToClients(const std::u16string& JsonStr);

  void morvaneInitEngine(const std::u16string& state);
  void morvaneDisconnectEngine(const std::u16string& state);
  void morvaneRegister(const std::u16string& state);
  void morvaneCancelRegister(const std::u16string& state);
  void morvaneVerify(const std::u16string& state);
  void morvaneIdentify(const std::u16string& state);
  // Beyond the six commands: "load" puts templates a page kept back into the current cache.
  void morvaneLoadTemplates(const std::u16string& state, const TJsonObject& command);

  void NqFPEngX1Capture(TNqFPEngX* ASender, bool ActionResult, const OleVariant& ATemplate);
  void NqFPEngX1Enroll(TNqFPEngX* ASender, bool ActionResult, const OleVariant& ATemplate);
  void NqFPEngX1FeatureInfo(TNqFPEngX* ASender, int32_t AQuality);

  // Adds a message's own members (and "state") after "event", "status" and "message".
  using TMembers = std::function<void(TJsonReplyWriter&)>;

  // The window's controls; set on the main thread, null to detach.
  void SetMessagesLog(ILogView* AView);
  void SetClientsConnected(ICountView* AView);
  // Called by FormClose to end the application.
  std::function<void()> OnTerminate;

  // The bridge's own port box, read once by FormCreate.
  std::u16string edPort = u"9090";
  // Where the server listens, at start-up and after each restart; empty: every interface at
  // start-up, 127.0.0.1 after a restart.
  std::vector<TListenAddress> ListenOn;

  TWebSocketServer* Server() const { return FServer.load(); }
  int32_t MatchType() const { return FMatchType; }
  int32_t NextFingerprintId() const { return FPID; }
  int32_t CacheHandle() const { return fpcHandle; }
  std::u16string LastState() const;
  std::u16string RegTemplate10() const;

 private:
  struct TOutputs;

  // Window updates (log lines, the client count) made on this thread while one lives reach the
  // main thread as one queue entry, in their order: a connect or a disconnect wakes the main
  // thread once, not once per line.
  class TQueuedTogether {
   public:
    explicit TQueuedTogether(TWebSocketServerForm& AForm);
    ~TQueuedTogether();
    TQueuedTogether(const TQueuedTogether&) = delete;
    TQueuedTogether& operator=(const TQueuedTogether&) = delete;

   private:
    friend class TWebSocketServerForm;
    TWebSocketServerForm& FForm;
    TQueuedTogether* const FOuter;
    std::vector<std::function<void()>> FUpdates;
  };
  // Queues a window update, with the others of this thread's TQueuedTogether if there is one.
  void QueueToWindow(std::function<void()> AUpdate);
  // The batch this thread is collecting, if any.
  static thread_local TQueuedTogether* FQueuedTogether;

  // Sends one framed message to every upgraded client.
  void SendFrameToClients(const TIdBytes& AFrame);
  // The send sequence shared by every reply and event: log, build, complete, send. The message is
  // written as UTF-8 straight into its frame.
  void SendMessage(std::u16string_view AEvent, std::u16string_view AStatus,
                   std::u16string_view AMessage, const TMembers& AMembers);
  // Adds a template to the current cache under the next id, which it uses up whatever the cache
  // answers: the id and that answer (0: added).
  std::pair<int32_t, int32_t> CacheUnderNextId(const std::u16string& ARegTemplate9,
                                               const std::u16string& ARegTemplate10);
  void ReleaseServer();
  void ReleaseCacheOnMainThread(int32_t AHandle);
  // Tells the engine the number of connected clients after AChange.
  void CountClientsForEngine(int32_t AChange);

  IMainThreadQueue& FQueue;
  std::unique_ptr<TNqFPEngX> NqFPEngX1;
  // Shared with procedures still waiting in the main-thread queue, so that none of them touches
  // the window after the bridge has detached from it.
  std::shared_ptr<TOutputs> FOutputs;
  // Procedures queued to the main thread reach the engine through this, weakly: it goes with the
  // bridge, so one that runs later finds it gone.
  const std::shared_ptr<TNqFPEngX*> FEngineForQueued =
      std::make_shared<TNqFPEngX*>(NqFPEngX1.get());
  // Main thread only: set at the start of closing, from when on sensor events are dropped.
  bool FClosing = false;

  // The server is owned by FServerOwner; FServer is what connection threads read, and it is empty
  // from the start of closing on.
  std::unique_ptr<TWebSocketServer> FServerOwner;
  std::atomic<TWebSocketServer*> FServer{nullptr};

  std::atomic<int32_t> fpcHandle{0};
  std::atomic<int32_t> FPID{0};
  // Enrolments (main thread) and loads (connection threads) each take an id and add under it as
  // one step, so that no two templates share an id.
  std::mutex FIdLock;
  std::atomic<int32_t> FMatchType{0};
  // Held while the engine is told, so that it hears the counts in the order they changed.
  std::mutex FClientCountLock;
  int32_t FClientCount = 0;
  mutable std::mutex FTextLock;  // guards gState, sRegTemplate, sRegTemplate10
  std::u16string gState;
  std::u16string sRegTemplate;
  std::u16string sRegTemplate10;
};
