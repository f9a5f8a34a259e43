// The JPEG decoder behind contact photos: any bytes give a picture within the
// limits or an error text, and never end the process.
#include "platform/image/JpegImage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto d = txl::ui::decodeJpeg(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size)));
    if (d.ok() == !d.error.isEmpty())
        std::abort(); // exactly one of picture and error
    if (d.ok() && (d.image.width() > txl::ui::kMaxJpegSide || d.image.height() > txl::ui::kMaxJpegSide))
        std::abort();
    return 0;
}
