#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "NqFPEngXControl_TLB.h"
#include "Utf8Text.h"

// A scripted engine: properties and results are set by the test, and every method call is
// recorded by name (with its arguments where they matter).
class TFakeEngine : public TNqFPEngX {
 public:
  int32_t InitEngine() override { return Record("InitEngine"), InitResult; }
  void EndEngine() override { Record("EndEngine"); }
  void BeginEnroll() override {
    Record("BeginEnroll");
    Register = true;
    Index = Count.load();
  }
  void CancelEnroll() override {
    Record("CancelEnroll");
    Register = false;
  }
  void BeginCapture() override { Record("BeginCapture"); }
  int32_t CreateFPCacheDB() override { return Record("CreateFPCacheDB"), NextCache++; }
  int32_t CreateFPCacheDBEx() override { return Record("CreateFPCacheDBEx"), NextCache++; }
  void FreeFPCacheDB(int32_t AHandle) override {
    Record("FreeFPCacheDB " + std::to_string(AHandle));
  }
  int32_t AddRegTemplateStrToFPCacheDBEx(int32_t AHandle, int32_t AId, const std::u16string& A9,
                                         const std::u16string& A10) override {
    Record("Add " + std::to_string(AHandle) + " " + std::to_string(AId) + " " + ToUtf8(A9) + " " +
           ToUtf8(A10));
    if (OnAdd) OnAdd();
    return AddResult;
  }
  std::u16string GetTemplateAsString() override { return Record("GetTemplateAsString"), Captured; }
  std::u16string GetTemplateAsStringEx(const std::u16string& AVersion) override {
    Record("GetTemplateAsStringEx " + ToUtf8(AVersion));
    return AVersion == u"9" ? Template9 : Template10;
  }
  bool VerFingerFromStr(std::u16string& ARegistered, const std::u16string& AVerify, bool,
                        bool& AChanged) override {
    Record("VerFingerFromStr " + ToUtf8(ARegistered) + " " + ToUtf8(AVerify));
    ARegistered = u"overwritten by the engine";
    AChanged = true;
    return VerifyResult;
  }
  int32_t IdentificationInFPCacheDB(int32_t AHandle, const OleVariant& ATemplate, int32_t& AScore,
                                    int32_t& AProcessed) override {
    Record("Identify " + std::to_string(AHandle) + " " + ToUtf8(ATemplate) + " score-in " +
           std::to_string(AScore));
    AScore = IdentifyScore;
    AProcessed = IdentifyProcessed;
    return IdentifyId;
  }
  bool IsRegister() override { return Register; }
  int32_t EnrollCount() override { return Count; }
  void SetEnrollCount(int32_t AValue) override {
    Record("EnrollCount=" + std::to_string(AValue));
    Count = AValue;
  }
  int32_t EnrollIndex() override { return Index; }
  int32_t LastQuality() override { return Quality; }
  int32_t SensorCount() override { return 1; }
  int32_t SensorIndex() override { return 0; }
  std::u16string SensorSN() override { return u"SN-1"; }
  std::u16string FPEngineVersion() override { return Version; }
  void SetFPEngineVersion(const std::u16string& AValue) override {
    Record("FPEngineVersion=" + ToUtf8(AValue));
    Version = AValue;
  }

  // Texts beginning with "bad" are refused, with the rest of the text as the reason.
  std::u16string TemplateFault(const std::u16string& ATemplate) override {
    Record("TemplateFault " + ToUtf8(ATemplate));
    return ATemplate.starts_with(u"bad") ? u"refused:" + ATemplate.substr(3) : u"";
  }

  std::vector<std::string> TakeCalls() {
    std::lock_guard lock(FLock);
    std::vector<std::string> calls;
    calls.swap(FCalls);
    return calls;
  }

  // Set by the test before the bridge runs, or between steps on the test's thread.
  std::atomic<int32_t> InitResult{0};
  std::atomic<bool> Register{false};
  std::atomic<int32_t> Count{3};
  std::atomic<int32_t> Index{0};
  int32_t Quality = 80;
  std::atomic<int32_t> NextCache{11};
  std::u16string Template9 = u"T9", Template10 = u"T10", Captured = u"CAP", Version = u"9";
  bool VerifyResult = true;
  std::atomic<int32_t> AddResult{0};
  // Called by every add, on the adding thread; set before the bridge runs.
  std::function<void()> OnAdd;
  int32_t IdentifyId = -1, IdentifyScore = 0, IdentifyProcessed = 0;
  // A call whose record starts with this text raises.
  void SetFailOn(const std::string& ACall) {
    std::lock_guard lock(FLock);
    FFailOn = ACall;
  }

 private:
  int Record(const std::string& ACall) {
    std::lock_guard lock(FLock);
    FCalls.push_back(ACall);
    if (!FFailOn.empty() && ACall.rfind(FFailOn, 0) == 0) throw EOleException("engine failure");
    return 0;
  }
  std::mutex FLock;
  std::string FFailOn;
  std::vector<std::string> FCalls;
};
