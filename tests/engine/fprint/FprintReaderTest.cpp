// The reader on this process's virtual reader, driven directly on the loop thread.
#include <gmock/gmock.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Completion.h"
#include "FingerImages.h"
#include "FprintReader.h"
#include "GLibLogForwarding.h"
#include "GLibLoopThread.h"
#include "ReaderFixture.h"

namespace {

using TOutcome = TFprintReader::TOpenOutcome;

// One Open or Close request and its answer: the outcome of an open, Closed for a close.
struct TRequest {
  bool Open = true;
  std::shared_ptr<TCompletion<std::optional<TOutcome>>> Answer =
      std::make_shared<TCompletion<std::optional<TOutcome>>>();
};

struct TOrderCase {
  const char* Name;
  bool StartOpen;                        // the reader is open before the requests
  std::vector<bool> Requests;            // true: open, false: close; made back to back
  std::vector<std::optional<TOutcome>> Answers;  // nullopt: closed
  bool EndsOpen;
};

void PrintTo(const TOrderCase& ACase, std::ostream* AOut) { *AOut << ACase.Name; }

class ReaderRequestOrderTest : public ::testing::TestWithParam<TOrderCase> {
 protected:
  ReaderRequestOrderTest() {
    Loop->Invoke([this] {
      Reader = TFprintReader::Create({[this](TReaderScan) { ++Scans; }, [](int) {}}, {});
    });
  }
  ~ReaderRequestOrderTest() override {
    auto closed = std::make_shared<TCompletion<bool>>();
    Loop->Invoke([&] { Reader->Close([closed] { closed->Set(true); }); });
    closed->WaitFor(kEventDeadline);
    Loop->Invoke([this] { Reader.reset(); });
  }

  void Request(TRequest& ARequest) {
    if (ARequest.Open) {
      Reader->Open([answer = ARequest.Answer](TFprintReader::TOpenResult AResult) {
        answer->Set(AResult.Outcome);
      });
    } else {
      Reader->Close([answer = ARequest.Answer] { answer->Set(std::nullopt); });
    }
  }

  const std::shared_ptr<TGLibLoopThread> Loop = TGLibLoopThread::Acquire();
  std::shared_ptr<TFprintReader> Reader;
  std::atomic<int> Scans = 0;
};

// Requests made before earlier ones finished (a caller gave up waiting): the last one decides.
TEST_P(ReaderRequestOrderTest, TheLastRequestDecides) {
  const TOrderCase& c = GetParam();
  if (c.StartOpen) {
    TRequest open;
    Loop->Invoke([&] { Request(open); });
    const auto opened = open.Answer->WaitFor(kEventDeadline);
    ASSERT_TRUE(opened);
    ASSERT_EQ(*opened, TOutcome::Opened);
  }
  std::vector<TRequest> requests;
  for (bool open : c.Requests) requests.push_back({open});
  Loop->Invoke([&] {
    for (TRequest& request : requests) Request(request);
  });
  std::vector<std::optional<TOutcome>> answers;
  for (TRequest& request : requests) {
    const auto answer = request.Answer->WaitFor(kEventDeadline);
    ASSERT_TRUE(answer) << "request " << answers.size() << " unanswered";
    answers.push_back(*answer);
  }
  EXPECT_EQ(answers, c.Answers);
  // Open, the virtual reader listens and the press arrives; closed, nothing listens.
  if (c.EndsOpen) {
    TVirtualImageDevice(VirtualReaderPath()).Press(fingers::FingerImpression(1, 1));
    EXPECT_TRUE(Eventually([&] { return Scans > 0; }));
  } else {
    TVirtualImageDevice closed(VirtualReaderPath(), std::chrono::milliseconds(200));
    EXPECT_THROW(closed.Press(fingers::FingerImpression(1, 1)), EVirtualImageDevice);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, ReaderRequestOrderTest,
    ::testing::Values(
        TOrderCase{"OpenCloseOpen", false, {true, false, true},
                   {TOutcome::Failed, std::nullopt, TOutcome::Opened}, true},
        TOrderCase{"OpenClose", false, {true, false}, {TOutcome::Failed, std::nullopt}, false},
        TOrderCase{"CloseOpenClose", true, {false, true, false},
                   {std::nullopt, TOutcome::Failed, std::nullopt}, false},
        TOrderCase{"CloseOpen", true, {false, true}, {std::nullopt, TOutcome::Opened}, true}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

// The program's end stops waiting for a reader that is slow to close and destroys the reader
// then: the device, still in its driver's hands, must not be destroyed under it.
TEST(ReaderEndTest, AReaderDestroyedBeforeItClosedLeavesTheDeviceAlone) {
  std::mutex lock;
  std::vector<std::string> lines;
  TGLibLogForwarding forwarding([&](const std::string& ALine) {
    std::lock_guard guard(lock);
    lines.push_back(ALine);
  });
  const auto loop = TGLibLoopThread::Acquire();
  std::shared_ptr<TFprintReader> reader;
  auto opened = std::make_shared<TCompletion<TOutcome>>();
  loop->Invoke([&] {
    reader = TFprintReader::Create({[](TReaderScan) {}, [](int) {}}, {});
    reader->Open([opened](TFprintReader::TOpenResult AResult) { opened->Set(AResult.Outcome); });
  });
  const auto outcome = opened->WaitFor(kEventDeadline);
  ASSERT_TRUE(outcome);
  ASSERT_EQ(*outcome, TOutcome::Opened);
  // Armed for a press: the close first waits for the capture's cancel, and is abandoned then.
  loop->Invoke([&] {
    reader->Close([] {});
    reader.reset();
  });
  // The cancelled capture ends on the loop within milliseconds; libfprint's complaint about a
  // destroyed open device would follow it. A slow machine can only hide the fault, not fake it.
  const auto unwarnedUntil = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  const auto warned = [&] {
    std::lock_guard guard(lock);
    return std::any_of(lines.begin(), lines.end(), [](const std::string& ALine) {
      return ALine.find("destroyed open device") != std::string::npos;
    });
  };
  while (!warned() && std::chrono::steady_clock::now() < unwarnedUntil) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_FALSE(warned()) << "libfprint saw its open device destroyed";
}

}  // namespace
