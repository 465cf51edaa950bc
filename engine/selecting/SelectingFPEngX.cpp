#include "SelectingFPEngX.h"

#include <limits>

TSelectingFPEngX::TSelectingFPEngX(std::unique_ptr<TNqFPEngX> AReaderEngine,
                                   std::unique_ptr<TNqFPEngX> AFallback,
                                   std::function<void(bool AReaderPicked)> AOnChoice)
    : FReaderEngine(std::move(AReaderEngine)),
      FFallback(std::move(AFallback)),
      FOnChoice(std::move(AOnChoice)),
      FCurrent(FFallback.get()) {
  Forward(*FReaderEngine);
  Forward(*FFallback);
}

TSelectingFPEngX::~TSelectingFPEngX() = default;

// The inner engines raise on the main thread, where the owner also assigned our handlers.
void TSelectingFPEngX::Forward(TNqFPEngX& AInner) {
  AInner.OnFeatureInfo = [this](TNqFPEngX*, int32_t AQuality) {
    if (auto handler = OnFeatureInfo) handler(this, AQuality);
  };
  AInner.OnEnroll = [this](TNqFPEngX*, bool AResult, const OleVariant& ATemplate) {
    if (auto handler = OnEnroll) handler(this, AResult, ATemplate);
  };
  AInner.OnCapture = [this](TNqFPEngX*, bool AResult, const OleVariant& ATemplate) {
    if (auto handler = OnCapture) handler(this, AResult, ATemplate);
  };
}

int32_t TSelectingFPEngX::InitEngine() {
  std::lock_guard switching(FSwitchLock);
  const bool readerAttached = FReaderEngine->SensorCount() > 0;
  TNqFPEngX& chosen = readerAttached ? *FReaderEngine : *FFallback;
  TNqFPEngX& other = readerAttached ? *FFallback : *FReaderEngine;
  // Only one engine runs: the other must neither hold the reader nor take touches.
  other.EndEngine();
  if (FOnChoice) FOnChoice(readerAttached);
  FCurrent = &chosen;
  return chosen.InitEngine();
}

void TSelectingFPEngX::EndEngine() { Current().EndEngine(); }
void TSelectingFPEngX::BeginEnroll() { Current().BeginEnroll(); }
void TSelectingFPEngX::CancelEnroll() { Current().CancelEnroll(); }
void TSelectingFPEngX::BeginCapture() { Current().BeginCapture(); }

int32_t TSelectingFPEngX::CreateFPCacheDB() {
  TNqFPEngX& engine = Current();
  return AddCache(engine, engine.CreateFPCacheDB());
}

int32_t TSelectingFPEngX::CreateFPCacheDBEx() {
  TNqFPEngX& engine = Current();
  return AddCache(engine, engine.CreateFPCacheDBEx());
}

int32_t TSelectingFPEngX::AddCache(TNqFPEngX& AEngine, int32_t AInnerHandle) {
  std::lock_guard lock(FCacheLock);
  if (FNextHandle == std::numeric_limits<int32_t>::max()) {
    AEngine.FreeFPCacheDB(AInnerHandle);
    throw EOleException("No fingerprint cache handle left");
  }
  const int32_t handle = FNextHandle++;
  FCaches.emplace(handle, TCacheRoute{&AEngine, AInnerHandle});
  return handle;
}

TSelectingFPEngX::TCacheRoute TSelectingFPEngX::Route(int32_t AHandle) {
  std::lock_guard lock(FCacheLock);
  const auto found = FCaches.find(AHandle);
  if (found == FCaches.end()) {
    throw EOleException("Unknown fingerprint cache handle " + std::to_string(AHandle));
  }
  return found->second;
}

void TSelectingFPEngX::FreeFPCacheDB(int32_t fpcHandle) {
  const TCacheRoute route = Route(fpcHandle);
  route.Engine->FreeFPCacheDB(route.Handle);
  std::lock_guard lock(FCacheLock);
  FCaches.erase(fpcHandle);
}

int32_t TSelectingFPEngX::AddRegTemplateStrToFPCacheDBEx(int32_t fpcHandle, int32_t FPID,
                                                         const std::u16string& ARegTemplateStr,
                                                         const std::u16string& ARegTemplate10Str) {
  const TCacheRoute route = Route(fpcHandle);
  return route.Engine->AddRegTemplateStrToFPCacheDBEx(route.Handle, FPID, ARegTemplateStr,
                                                      ARegTemplate10Str);
}

int32_t TSelectingFPEngX::IdentificationInFPCacheDB(int32_t fpcHandle,
                                                    const OleVariant& pVerTemplate, int32_t& Score,
                                                    int32_t& ProcessedFPNumber) {
  const TCacheRoute route = Route(fpcHandle);
  return route.Engine->IdentificationInFPCacheDB(route.Handle, pVerTemplate, Score,
                                                 ProcessedFPNumber);
}

std::u16string TSelectingFPEngX::GetTemplateAsString() { return Current().GetTemplateAsString(); }

std::u16string TSelectingFPEngX::GetTemplateAsStringEx(const std::u16string& AFPEngineVersion) {
  return Current().GetTemplateAsStringEx(AFPEngineVersion);
}

bool TSelectingFPEngX::VerFingerFromStr(std::u16string& regTemplateStr,
                                        const std::u16string& verTemplateStr, bool ADoLearning,
                                        bool& ARegFeatureChanged) {
  return Current().VerFingerFromStr(regTemplateStr, verTemplateStr, ADoLearning,
                                    ARegFeatureChanged);
}

bool TSelectingFPEngX::IsRegister() { return Current().IsRegister(); }
int32_t TSelectingFPEngX::EnrollCount() { return Current().EnrollCount(); }
void TSelectingFPEngX::SetEnrollCount(int32_t AValue) { Current().SetEnrollCount(AValue); }
int32_t TSelectingFPEngX::EnrollIndex() { return Current().EnrollIndex(); }
int32_t TSelectingFPEngX::LastQuality() { return Current().LastQuality(); }
int32_t TSelectingFPEngX::SensorCount() { return Current().SensorCount(); }
int32_t TSelectingFPEngX::SensorIndex() { return Current().SensorIndex(); }
std::u16string TSelectingFPEngX::SensorSN() { return Current().SensorSN(); }
std::u16string TSelectingFPEngX::FPEngineVersion() { return Current().FPEngineVersion(); }

void TSelectingFPEngX::SetFPEngineVersion(const std::u16string& AValue) {
  Current().SetFPEngineVersion(AValue);
}

std::u16string TSelectingFPEngX::LastError() { return Current().LastError(); }

std::u16string TSelectingFPEngX::TemplateFault(const std::u16string& ATemplate) {
  TNqFPEngX& inUse = Current();
  std::u16string fault = inUse.TemplateFault(ATemplate);
  const bool readerInUse = &inUse == FReaderEngine.get();
  TNqFPEngX& other = readerInUse ? *FFallback : *FReaderEngine;
  if (fault.empty() || !other.TemplateFault(ATemplate).empty()) return fault;
  return readerInUse ? u"a template of the simulated sensor, but a fingerprint reader is in use"
                     : u"a template of a fingerprint reader, but the simulated sensor is in use";
}
