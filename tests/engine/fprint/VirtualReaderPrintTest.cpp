// Pins how the reader's minutiae are read against libfprint itself: a print made by the
// virtual reader from a known image.
#include <fprint.h>
#include <gmock/gmock.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <set>
#include <utility>

#include "FingerImages.h"
#include "GLibLoopThread.h"
#include "GLibPtr.h"
#include "PrintScan.h"
#include "VirtualImageDevice.h"

namespace {

struct TImageMinutia {
  int X, Y;
};

struct TPressedPrint {
  TReaderScan Scan;
  std::vector<TImageMinutia> ImageMinutiae;  // libfprint's own, positions only
};

// Opens the virtual reader directly with libfprint, presses AImage and reads the print.
TPressedPrint PressOnce(const TGreyImage& AImage) {
  const auto loop = TGLibLoopThread::Acquire();
  TGObjectPtr<FpContext> context;
  TGObjectPtr<FpDevice> device;
  loop->Invoke([&] {
    context.reset(fp_context_new());
    GPtrArray* devices = fp_context_get_devices(context.get());
    if (devices->len == 0) return;
    device = RefGObject(static_cast<FpDevice*>(g_ptr_array_index(devices, 0)));
    g_autoptr(GError) error = nullptr;
    if (!fp_device_open_sync(device.get(), nullptr, &error)) device.reset();
  });
  TPressedPrint pressed;
  if (!device) {
    ADD_FAILURE() << "the virtual reader did not open";
    return pressed;
  }
  // The reader keeps what arrives before it is armed.
  TVirtualImageDevice(std::getenv("FP_VIRTUAL_IMAGE")).Press(AImage);
  loop->Invoke([&] {
    g_autoptr(GPtrArray) gallery = g_ptr_array_new_with_free_func(g_object_unref);
    g_autoptr(FpPrint) match = nullptr;
    g_autoptr(FpPrint) print = nullptr;
    g_autoptr(GError) error = nullptr;
    fp_device_identify_sync(device.get(), gallery, nullptr, nullptr, nullptr, &match, &print,
                            &error);
    if (print != nullptr) {
      pressed.Scan = ScanFromPrint(print);
      GPtrArray* found = fp_image_get_minutiae(fp_print_get_image(print));
      for (guint i = 0; found != nullptr && i < found->len; ++i) {
        TImageMinutia m{};
        fp_minutia_get_coords(static_cast<FpMinutia*>(g_ptr_array_index(found, i)), &m.X, &m.Y);
        pressed.ImageMinutiae.push_back(m);
      }
    }
    fp_device_close_sync(device.get(), nullptr, nullptr);
    device.reset();
    context.reset();
  });
  return pressed;
}

TEST(VirtualReaderPrint, MinutiaeSitWhereLibfprintFoundThemInTheImage) {
  const TPressedPrint pressed = PressOnce(fingers::FingerImpression(4, 1));
  ASSERT_EQ(pressed.Scan.Kind, TScanKind::Image) << pressed.Scan.Detail;
  EXPECT_EQ(pressed.Scan.Image.Width, kSyntheticWidth);
  EXPECT_EQ(pressed.Scan.Image.Height, kSyntheticHeight);
  EXPECT_EQ(pressed.Scan.Image.Pixels, fingers::FingerImpression(4, 1).Pixels);
  ASSERT_GE(pressed.Scan.Minutiae.size(), 10u);
  // The same places, in whatever order each list has them.
  std::multiset<std::pair<int, int>> serialised, found;
  for (const auto& m : pressed.Scan.Minutiae) {
    serialised.emplace(static_cast<int>(m.X), static_cast<int>(m.Y));
  }
  for (const auto& m : pressed.ImageMinutiae) found.emplace(m.X, m.Y);
  EXPECT_EQ(serialised, found);
}

TEST(VirtualReaderPrint, DirectionsRunAlongTheRidgesInImageCoordinates) {
  // Ridges across the image at 60 degrees from the x axis, y downward: flipping y without
  // turning the angles round would put the directions at 120 degrees.
  const double ridge = std::numbers::pi / 3;
  const TPressedPrint pressed = PressOnce(fingers::Ridges(ridge - std::numbers::pi / 2, 12, 5));
  ASSERT_EQ(pressed.Scan.Kind, TScanKind::Image) << pressed.Scan.Detail;
  ASSERT_GE(pressed.Scan.Minutiae.size(), 10u);
  size_t along = 0;
  for (const auto& minutia : pressed.Scan.Minutiae) {
    // Orientation only: a ridge ending and a bifurcation point opposite ways.
    const double off = std::abs(std::remainder(minutia.Direction - ridge, std::numbers::pi));
    along += off < 25 * std::numbers::pi / 180 ? 1 : 0;
  }
  // Near a singularity the ridges bend; most minutiae lie away from one.
  EXPECT_GE(along * 10, pressed.Scan.Minutiae.size() * 8)
      << along << " of " << pressed.Scan.Minutiae.size();
}

}  // namespace
