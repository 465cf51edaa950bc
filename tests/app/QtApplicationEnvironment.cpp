#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "GLibDefaultContext.h"

// Every test of this folder needs a QApplication on the main thread; the platform comes from
// QT_QPA_PLATFORM (offscreen, set by the test's environment).
namespace {

class TQtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    LeaveGLibDefaultContextToReaders();
    FApp = std::make_unique<QApplication>(FArgc, FArgv);
  }
  void TearDown() override { FApp.reset(); }

 private:
  int FArgc = 1;
  char FName[16] = "tessiva_test";
  char* FArgv[2] = {FName, nullptr};
  std::unique_ptr<QApplication> FApp;
};

[[maybe_unused]] ::testing::Environment* const GQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new TQtApplicationEnvironment);

}  // namespace
