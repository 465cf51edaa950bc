// An echo server on TWebSocketServer for the interoperability test: listens on 127.0.0.1 on a
// free port, prints the port, greets every upgraded connection with an empty message, echoes every
// text message, and stops when its standard input closes.
#include <cstdio>
#include <iostream>
#include <mutex>
#include <set>

#include "WebSocketIOHandlerHelper.h"
#include "WebSocketServer.h"

namespace {

// Connections that have had their greeting; each entry is touched only by its own connection's
// thread, the set itself by all of them.
class TGreetedConnections {
 public:
  bool FirstTime(TIdContext* AContext) {
    std::lock_guard lock(FLock);
    return FContexts.insert(AContext).second;
  }
  void Forget(TIdContext* AContext) {
    std::lock_guard lock(FLock);
    FContexts.erase(AContext);
  }

 private:
  std::mutex FLock;
  std::set<TIdContext*> FContexts;
};

}  // namespace

int main() {
  TGreetedConnections greeted;
  TWebSocketServer server;
  TIdSocketHandle& binding = server.Bindings().Add();
  binding.IP = u"127.0.0.1";
  binding.Port = 0;
  server.OnExecute = [&](TIdContext* AContext) {
    TIdIOHandler& handler = *AContext->Connection()->IOHandler();
    TWebSocketIOHandlerHelper codec(handler);
    // A message of 0 bytes cannot be echoed (it reads as no message), so the server sends one.
    if (handler.Tag == 1 && greeted.FirstTime(AContext)) codec.WriteString(u"");
    handler.CheckForDataOnSource(10);
    const std::u16string text = codec.ReadString();
    if (!text.empty()) codec.WriteString(text);
  };
  server.OnDisconnect = [&](TIdContext* AContext) { greeted.Forget(AContext); };
  try {
    server.SetActive(true);
  } catch (const std::exception& e) {
    std::cerr << "cannot listen: " << e.what() << std::endl;
    return 1;
  }
  std::cout << server.Bindings()[0].Port << std::endl;
  while (std::getchar() != EOF) {
  }
  return 0;
}
