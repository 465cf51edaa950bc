#include "SensorCommandExecutor.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

#include "SensorControlProtocol.h"
#include "SimulatedFPEngX.h"

namespace {

// Shared by the waiting control thread and the touch's completion on the main thread, which
// may run after the waiter has given up.
struct TTouchWait {
  std::mutex Lock;
  std::condition_variable_any Done;
  std::optional<TTouchResult> Result;
};

std::string ExecuteTouch(TSimulatedFPEngX& AEngine, const TTouchCommand& ACommand,
                         std::stop_token AStop, std::chrono::milliseconds ATimeout) {
  auto wait = std::make_shared<TTouchWait>();
  AEngine.Touch(ACommand.Finger, ACommand.Quality, ACommand.Suspicious,
                [wait](const TTouchResult& AResult) {
                  {
                    std::lock_guard lock(wait->Lock);
                    wait->Result = AResult;
                  }
                  wait->Done.notify_all();
                });
  std::unique_lock lock(wait->Lock);
  if (wait->Done.wait_for(lock, AStop, ATimeout, [&] { return wait->Result.has_value(); })) {
    return TouchAnswer(*wait->Result);
  }
  return ErrorAnswer(AStop.stop_requested() ? "engine shutting down" : "main thread busy");
}

template <class... TVisitors>
struct TOverloaded : TVisitors... {
  using TVisitors::operator()...;
};
template <class... TVisitors>
TOverloaded(TVisitors...) -> TOverloaded<TVisitors...>;

}  // namespace

std::string ExecuteSensorCommand(TSimulatedFPEngX& AEngine, std::string_view ALine,
                                 std::stop_token AStop, std::chrono::milliseconds ATouchTimeout) {
  return std::visit(
      TOverloaded{
          [&](const TTouchCommand& ACommand) {
            return ExecuteTouch(AEngine, ACommand, AStop, ATouchTimeout);
          },
          [&](const TPlugCommand& ACommand) {
            AEngine.Plug(ACommand.Plugged);
            return PlugAnswer(ACommand.Plugged);
          },
          [&](const TStatusCommand&) { return StatusAnswer(AEngine.Status()); },
          [](const THelpCommand&) { return HelpAnswer(); },
          [](const TMalformedCommand& ACommand) { return ErrorAnswer(ACommand.Reason); },
      },
      ParseSensorCommand(ALine));
}
