#include "PrintScan.h"

#include <span>

#include "SerializedPrint.h"

TReaderScan ScanFromPrint(FpPrint* APrint) {
  TReaderScan scan;
  FpImage* image = fp_print_get_image(APrint);
  if (image == nullptr) {
    scan.Detail = "the reader gave no image";
    return scan;
  }
  const int width = static_cast<int>(fp_image_get_width(image));
  const int height = static_cast<int>(fp_image_get_height(image));
  gsize length = 0;
  const guchar* pixels = fp_image_get_data(image, &length);
  if (width <= 0 || height <= 0 || length != static_cast<gsize>(width) * height) {
    scan.Detail = "the reader's image has no usable size";
    return scan;
  }
  g_autofree guchar* blob = nullptr;
  gsize blobLength = 0;
  g_autoptr(GError) error = nullptr;
  if (!fp_print_serialize(APrint, &blob, &blobLength, &error)) {
    scan.Detail = error->message;
    return scan;
  }
  try {
    scan.Minutiae = MinutiaeFromSerializedPrint(std::span<const uint8_t>(blob, blobLength), width,
                                                height);
  } catch (const EPrintFormat& failure) {
    scan.Detail = failure.what();
    return scan;
  }
  scan.Kind = TScanKind::Image;
  scan.Image.Width = width;
  scan.Image.Height = height;
  scan.Image.Pixels.assign(pixels, pixels + length);
  return scan;
}
