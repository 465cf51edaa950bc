#include "SerializedPrint.h"

#include <glib.h>

#include <memory>
#include <numbers>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kMagic = "FP3";
constexpr char kPrintType[] = "(issbymsmsia{sv}v)";
constexpr char kNbisType[] = "(a(aiaiai))";
// libfprint's print kinds: 2 holds minutiae found on an image.
constexpr int32_t kNbisPrint = 2;
constexpr int kPrintMember = 0;
constexpr int kDataMember = 9;

struct TGVariantUnref {
  void operator()(GVariant* AValue) const { g_variant_unref(AValue); }
};
using TGVariantPtr = std::unique_ptr<GVariant, TGVariantUnref>;

std::span<const int32_t> IntArray(GVariant* ATriple, gsize AIndex, TGVariantPtr& AHolder) {
  AHolder.reset(g_variant_get_child_value(ATriple, AIndex));
  gsize count = 0;
  const auto* values =
      static_cast<const int32_t*>(g_variant_get_fixed_array(AHolder.get(), &count, sizeof(int32_t)));
  return {values, count};
}

}  // namespace

std::vector<TMinutia> MinutiaeFromSerializedPrint(std::span<const uint8_t> ABlob, int AWidth,
                                                  int AHeight) {
  if (AWidth <= 0 || AHeight <= 0) throw EPrintFormat("no image size");
  if (ABlob.size() < kMagic.size() ||
      std::string_view(reinterpret_cast<const char*>(ABlob.data()), kMagic.size()) != kMagic) {
    throw EPrintFormat("not a serialised print");
  }
  // Copied: GVariant wants aligned data, and the copy is released with the value.
  GBytes* bytes = g_bytes_new(ABlob.data() + kMagic.size(), ABlob.size() - kMagic.size());
  const TGVariantPtr print(g_variant_ref_sink(
      g_variant_new_from_bytes(G_VARIANT_TYPE(kPrintType), bytes, FALSE)));
  g_bytes_unref(bytes);
  if (!g_variant_is_normal_form(print.get())) throw EPrintFormat("malformed print");
  const TGVariantPtr kind(g_variant_get_child_value(print.get(), kPrintMember));
  if (g_variant_get_int32(kind.get()) != kNbisPrint) throw EPrintFormat("print holds no minutiae");
  const TGVariantPtr boxed(g_variant_get_child_value(print.get(), kDataMember));
  const TGVariantPtr data(g_variant_get_variant(boxed.get()));
  if (!g_variant_is_of_type(data.get(), G_VARIANT_TYPE(kNbisType))) {
    throw EPrintFormat(std::string("minutiae of type ") + g_variant_get_type_string(data.get()));
  }
  const TGVariantPtr scans(g_variant_get_child_value(data.get(), 0));
  // A scan has one set; enrolled prints made by libfprint itself have several.
  if (g_variant_n_children(scans.get()) != 1) throw EPrintFormat("not exactly one minutiae set");
  const TGVariantPtr triple(g_variant_get_child_value(scans.get(), 0));
  TGVariantPtr xHolder, yHolder, thetaHolder;
  const auto xs = IntArray(triple.get(), 0, xHolder);
  const auto ys = IntArray(triple.get(), 1, yHolder);
  const auto thetas = IntArray(triple.get(), 2, thetaHolder);
  if (xs.size() != ys.size() || xs.size() != thetas.size()) {
    throw EPrintFormat("minutiae arrays differ in length");
  }
  std::vector<TMinutia> minutiae;
  minutiae.reserve(xs.size());
  for (size_t i = 0; i < xs.size(); ++i) {
    // y counts from the bottom edge: a pixel row r of the image is stored as height - r.
    if (xs[i] < 0 || xs[i] >= AWidth || ys[i] < 1 || ys[i] > AHeight || thetas[i] < -360 ||
        thetas[i] > 360) {
      throw EPrintFormat("minutia " + std::to_string(i) + " outside the image or the circle");
    }
    // With y flipped, an angle counter-clockwise becomes clockwise: negate it.
    const int degrees = ((-thetas[i]) % 360 + 360) % 360;
    minutiae.push_back({static_cast<float>(xs[i]), static_cast<float>(AHeight - ys[i]),
                        static_cast<float>(degrees * std::numbers::pi / 180.0)});
  }
  return minutiae;
}
