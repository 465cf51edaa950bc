#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "NqFPEngXControl_TLB.h"

// The engine the application hands to the bridge: at each InitEngine it picks the reader engine
// when that has a reader attached, else the fallback (the simulated sensor), ends the other one,
// and from then on passes every call to the one picked. Events of both are raised again with
// this engine as sender. Cache handles are this engine's own, each routed to the engine that
// made its cache, so a handle stays valid across a switch.
class TSelectingFPEngX final : public TNqFPEngX {
 public:
  // AOnChoice, if given, learns at each InitEngine whether the reader engine was picked.
  TSelectingFPEngX(std::unique_ptr<TNqFPEngX> AReaderEngine, std::unique_ptr<TNqFPEngX> AFallback,
                   std::function<void(bool AReaderPicked)> AOnChoice = nullptr);
  ~TSelectingFPEngX() override;
  TSelectingFPEngX(const TSelectingFPEngX&) = delete;
  TSelectingFPEngX& operator=(const TSelectingFPEngX&) = delete;

  int32_t InitEngine() override;
  void EndEngine() override;
  void BeginEnroll() override;
  void CancelEnroll() override;
  void BeginCapture() override;
  int32_t CreateFPCacheDB() override;
  int32_t CreateFPCacheDBEx() override;
  void FreeFPCacheDB(int32_t fpcHandle) override;
  int32_t AddRegTemplateStrToFPCacheDBEx(int32_t fpcHandle, int32_t FPID,
                                         const std::u16string& ARegTemplateStr,
                                         const std::u16string& ARegTemplate10Str) override;
  std::u16string GetTemplateAsString() override;
  std::u16string GetTemplateAsStringEx(const std::u16string& AFPEngineVersion) override;
  bool VerFingerFromStr(std::u16string& regTemplateStr, const std::u16string& verTemplateStr,
                        bool ADoLearning, bool& ARegFeatureChanged) override;
  int32_t IdentificationInFPCacheDB(int32_t fpcHandle, const OleVariant& pVerTemplate,
                                    int32_t& Score, int32_t& ProcessedFPNumber) override;

  bool IsRegister() override;
  int32_t EnrollCount() override;
  void SetEnrollCount(int32_t AValue) override;
  int32_t EnrollIndex() override;
  int32_t LastQuality() override;
  int32_t SensorCount() override;
  int32_t SensorIndex() override;
  std::u16string SensorSN() override;
  std::u16string FPEngineVersion() override;
  void SetFPEngineVersion(const std::u16string& AValue) override;
  std::u16string LastError() override;
  // The engine in use decides; a template it refuses that the other engine takes is named as the
  // other engine's.
  std::u16string TemplateFault(const std::u16string& ATemplate) override;

  // The engine serving now: the fallback until the first InitEngine.
  TNqFPEngX& Current() const { return *FCurrent.load(); }

 private:
  struct TCacheRoute {
    TNqFPEngX* Engine = nullptr;
    int32_t Handle = 0;
  };

  void Forward(TNqFPEngX& AInner);
  int32_t AddCache(TNqFPEngX& AEngine, int32_t AInnerHandle);
  TCacheRoute Route(int32_t AHandle);

  const std::unique_ptr<TNqFPEngX> FReaderEngine;
  const std::unique_ptr<TNqFPEngX> FFallback;
  const std::function<void(bool)> FOnChoice;
  std::atomic<TNqFPEngX*> FCurrent;
  std::mutex FSwitchLock;  // one InitEngine at a time
  std::mutex FCacheLock;   // guards the routes
  std::map<int32_t, TCacheRoute> FCaches;
  int32_t FNextHandle = 1;
};
