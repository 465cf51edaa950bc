#include "VirtualImageAnalyser.h"

#include <cstdlib>
#include <deque>
#include <mutex>

#include "Completion.h"
#include "FprintReader.h"
#include "GLibLoopThread.h"
#include "VirtualImageDevice.h"

namespace {

constexpr std::chrono::seconds kScanTimeout{60};

}  // namespace

// Scans as the reader reports them, for Analyse to wait on.
struct TPendingScans {
  std::mutex Lock;
  std::deque<std::shared_ptr<TCompletion<TReaderScan>>> Waiting;

  void Deliver(TReaderScan AScan) {
    std::shared_ptr<TCompletion<TReaderScan>> first;
    {
      std::lock_guard guard(Lock);
      if (Waiting.empty()) return;
      first = std::move(Waiting.front());
      Waiting.pop_front();
    }
    first->Set(std::move(AScan));
  }
};

TVirtualImageAnalyser::TVirtualImageAnalyser(std::string ASocketPath)
    : FSocketPath(std::move(ASocketPath)),
      FScans(std::make_shared<TPendingScans>()),
      FLoop(TGLibLoopThread::Acquire()) {
  auto opened = std::make_shared<TCompletion<TFprintReader::TOpenResult>>();
  FLoop->Post([this, opened] {
    // On the thread that creates libfprint's context, just before it reads the variable.
    ::setenv("FP_VIRTUAL_IMAGE", FSocketPath.c_str(), 1);
    FReader = TFprintReader::Create(
        {[scans = FScans](TReaderScan AScan) { scans->Deliver(std::move(AScan)); }, [](int) {}},
        // Nothing to heat: the virtual reader stays armed for every image it is sent.
        TArmingTimes{.Spell = std::chrono::hours(1)});
    FReader->Open([opened](TFprintReader::TOpenResult AResult) { opened->Set(std::move(AResult)); });
  });
  const auto result = opened->WaitFor(kScanTimeout);
  if (!result || result->Outcome != TFprintReader::TOpenOutcome::Opened) {
    FLoop->Invoke([this] { FReader.reset(); });
    throw EVirtualImageDevice("cannot open the virtual reader" +
                              (result ? ": " + result->Error : std::string()));
  }
}

TVirtualImageAnalyser::~TVirtualImageAnalyser() {
  auto closed = std::make_shared<TCompletion<bool>>();
  FLoop->Post([this, closed] { FReader->Close([closed] { closed->Set(true); }); });
  closed->WaitFor(kScanTimeout);
  FLoop->Invoke([this] { FReader.reset(); });
}

TAnalysedPress TVirtualImageAnalyser::Analyse(const TGreyImage& AImage) {
  auto scan = std::make_shared<TCompletion<TReaderScan>>();
  {
    std::lock_guard guard(FScans->Lock);
    FScans->Waiting.push_back(scan);
  }
  TVirtualImageDevice(FSocketPath).Press(AImage);
  const auto result = scan->WaitFor(kScanTimeout);
  if (!result) throw EVirtualImageDevice("the virtual reader gave no scan in time");
  return AnalysePress(*result);
}
