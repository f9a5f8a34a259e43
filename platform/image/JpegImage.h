#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace txl::ui {

struct JpegDecoded {
    QImage image; // null when decoding failed
    QString error; // empty on success; otherwise a text for the error report
    bool ok() const { return !image.isNull(); }
};

// Decodes a JPEG held in memory through libjpeg into an RGB image. Damaged,
// truncated or absurdly large pictures give a null image and an error text;
// libjpeg is never allowed to end the process.
JpegDecoded decodeJpeg(const QByteArray &data);

// Largest picture accepted, per side and in pixels.
constexpr int kMaxJpegSide = 16384;
constexpr qint64 kMaxJpegPixels = qint64(1) << 25;

} // namespace txl::ui
