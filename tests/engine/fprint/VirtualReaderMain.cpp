// Each test process gets a virtual image reader of its own: FP_VIRTUAL_IMAGE must name its
// socket before any libfprint context exists.
#include <gmock/gmock.h>

#include <cstdlib>

#include "EngineTestSupport.h"

int main(int argc, char** argv) {
  const TTempDir directory;
  ::setenv("FP_VIRTUAL_IMAGE", directory.File("virtual-image.sock").c_str(), 1);
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
