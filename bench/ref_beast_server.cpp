// Reference server on Boost.Beast, the usual library choice: asynchronous, every connection served
// by one io_context thread, a queue of pending frames per client so that a broadcast never waits
// for a slow reader. It answers the opening handshake and {"act":"verify","state":S} with the
// bridge's reply to every upgraded client.
//
// Usage: ref_beast_server PORT  (listens on 127.0.0.1; SIGTERM or SIGINT stops it)

#include <boost/asio/buffer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "VerifyReply.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

class TSession;

// Every upgraded client; touched only on the io_context thread, so it needs no lock.
class TRoom {
 public:
  void Join(TSession* ASession) { FSessions.insert(ASession); }
  void Leave(TSession* ASession) { FSessions.erase(ASession); }
  void Broadcast(std::string AText);

 private:
  std::unordered_set<TSession*> FSessions;
};

class TSession : public std::enable_shared_from_this<TSession> {
 public:
  TSession(tcp::socket ASocket, TRoom& ARoom) : FWs(std::move(ASocket)), FRoom(ARoom) {}
  ~TSession() { FRoom.Leave(this); }

  void Start() {
    FWs.async_accept([self = shared_from_this()](beast::error_code AError) {
      if (AError) return;
      self->FWs.text(true);
      self->FRoom.Join(self.get());
      self->Read();
    });
  }

  void Send(const std::shared_ptr<const std::string>& AText) {
    FPending.push_back(AText);
    if (FPending.size() == 1) WriteFront();
  }

 private:
  void Read() {
    FWs.async_read(FInput, [self = shared_from_this()](beast::error_code AError, size_t) {
      if (AError) {
        self->FRoom.Leave(self.get());
        return;
      }
      const std::string message = beast::buffers_to_string(self->FInput.data());
      self->FInput.consume(self->FInput.size());
      if (message.find(R"("act":"verify")") != std::string::npos)
        self->FRoom.Broadcast(VerifyReply(StateOf(message)));
      self->Read();
    });
  }

  void WriteFront() {
    FWs.async_write(asio::buffer(*FPending.front()),
                    [self = shared_from_this()](beast::error_code AError, size_t) {
                      if (AError) {
                        self->FPending.clear();
                        return;
                      }
                      self->FPending.pop_front();
                      if (!self->FPending.empty()) self->WriteFront();
                    });
  }

  websocket::stream<tcp::socket> FWs;
  beast::flat_buffer FInput;
  std::deque<std::shared_ptr<const std::string>> FPending;
  TRoom& FRoom;
};

void TRoom::Broadcast(std::string AText) {
  // One serialised text shared by every client's queue.
  const auto text = std::make_shared<const std::string>(std::move(AText));
  for (TSession* session : FSessions) session->Send(text);
}

void AcceptNext(tcp::acceptor& AAcceptor, TRoom& ARoom) {
  AAcceptor.async_accept([&AAcceptor, &ARoom](beast::error_code AError, tcp::socket ASocket) {
    if (AError) {
      if (AError != asio::error::operation_aborted) AcceptNext(AAcceptor, ARoom);
      return;
    }
    ASocket.set_option(tcp::no_delay(true));
    std::make_shared<TSession>(std::move(ASocket), ARoom)->Start();
    AcceptNext(AAcceptor, ARoom);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
    return 2;
  }
  try {
    // Declared first: sessions that the io_context still holds leave it when they are freed.
    TRoom room;
    asio::io_context io(1);
    tcp::acceptor acceptor(io, tcp::endpoint(asio::ip::address_v4::loopback(),
                                             static_cast<unsigned short>(std::atoi(argv[1]))));
    AcceptNext(acceptor, room);
    asio::signal_set stopSignals(io, SIGINT, SIGTERM);
    stopSignals.async_wait([&io](beast::error_code, int) { io.stop(); });
    io.run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ref_beast_server: %s\n", e.what());
    return 1;
  }
  return 0;
}
