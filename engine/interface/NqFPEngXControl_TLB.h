#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// The fingerprint engine control as the bridge sees it. Strings are UTF-16; booleans are plain
// bool; integers 32-bit signed. A failing method or property access throws EOleException.
// Events are delivered on the main thread through the main-thread queue the engine was given;
// an unassigned event is skipped.

class TNqFPEngX;

// The control hands templates to its events as a variant; here the variant always holds text.
using OleVariant = std::u16string;

using TNqFPEngXFeatureInfo = std::function<void(TNqFPEngX* ASender, int32_t AQuality)>;
using TNqFPEngXEnroll =
    std::function<void(TNqFPEngX* ASender, bool ActionResult, const OleVariant& ATemplate)>;
using TNqFPEngXCapture =
    std::function<void(TNqFPEngX* ASender, bool ActionResult, const OleVariant& ATemplate)>;

class EOleException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TNqFPEngX {
 public:
  virtual ~TNqFPEngX() = default;

  // Methods.
  virtual int32_t InitEngine() = 0;
  virtual void EndEngine() = 0;
  virtual void BeginEnroll() = 0;
  virtual void CancelEnroll() = 0;
  virtual void BeginCapture() = 0;
  virtual int32_t CreateFPCacheDB() = 0;
  virtual int32_t CreateFPCacheDBEx() = 0;
  virtual void FreeFPCacheDB(int32_t fpcHandle) = 0;
  virtual int32_t AddRegTemplateStrToFPCacheDBEx(int32_t fpcHandle, int32_t FPID,
                                                 const std::u16string& ARegTemplateStr,
                                                 const std::u16string& ARegTemplate10Str) = 0;
  virtual std::u16string GetTemplateAsString() = 0;
  virtual std::u16string GetTemplateAsStringEx(const std::u16string& AFPEngineVersion) = 0;
  virtual bool VerFingerFromStr(std::u16string& regTemplateStr, const std::u16string& verTemplateStr,
                                bool ADoLearning, bool& ARegFeatureChanged) = 0;
  virtual int32_t IdentificationInFPCacheDB(int32_t fpcHandle, const OleVariant& pVerTemplate,
                                            int32_t& Score, int32_t& ProcessedFPNumber) = 0;

  // Properties.
  virtual bool IsRegister() = 0;
  virtual int32_t EnrollCount() = 0;
  virtual void SetEnrollCount(int32_t AValue) = 0;
  virtual int32_t EnrollIndex() = 0;
  virtual int32_t LastQuality() = 0;
  virtual int32_t SensorCount() = 0;
  virtual int32_t SensorIndex() = 0;
  virtual std::u16string SensorSN() = 0;
  virtual std::u16string FPEngineVersion() = 0;
  virtual void SetFPEngineVersion(const std::u16string& AValue) = 0;

  // Not a member of the control: why the last InitEngine failed, in words for the log; empty
  // when the engine has nothing to say.
  virtual std::u16string LastError() { return {}; }
  // Not a member of the control either: why ATemplate is no template of the engine in use, in
  // words for the clients that sent it; empty when its caches take it.
  virtual std::u16string TemplateFault(const std::u16string& ATemplate) = 0;

  // Events, assigned by the owner on the main thread before the engine runs.
  TNqFPEngXFeatureInfo OnFeatureInfo;
  TNqFPEngXEnroll OnEnroll;
  TNqFPEngXCapture OnCapture;
};
