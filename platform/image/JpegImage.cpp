#include "platform/image/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace txl::ui {

namespace {

// libjpeg reports a fatal error by calling error_exit, which by default ends
// the process. Ours jumps back into the phase that was running instead. The
// frames between setjmp and the jump are libjpeg's own C frames and the two
// phase functions below, which hold no object with a destructor; the QImage
// lives in decodeJpeg, outside the jump.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

extern "C" void jpegErrorExit(j_common_ptr cinfo)
{
    auto *err = reinterpret_cast<ErrorManager *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (level -1) are how libjpeg reports corrupt or missing data it
// chose to paper over, such as a truncated file filled with grey: a damaged
// picture is refused rather than shown half-grey. Trace messages are dropped.
extern "C" void jpegEmitMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        jpegErrorExit(cinfo);
}

extern "C" void jpegOutputMessage(j_common_ptr)
{
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    bool created;
};

bool startPhase(Decoder &d, const unsigned char *bytes, unsigned long size)
{
    if (setjmp(d.err.jump))
        return false;
    jpeg_create_decompress(&d.cinfo);
    d.created = true;
    jpeg_mem_src(&d.cinfo, bytes, size);
    jpeg_read_header(&d.cinfo, TRUE);
    d.cinfo.out_color_space = JCS_RGB;
    jpeg_calc_output_dimensions(&d.cinfo);
    return true;
}

bool decompressPhase(Decoder &d, unsigned char *bits, qsizetype stride)
{
    if (setjmp(d.err.jump))
        return false;
    jpeg_start_decompress(&d.cinfo);
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = bits + qsizetype(d.cinfo.output_scanline) * stride;
        if (jpeg_read_scanlines(&d.cinfo, &row, 1) != 1) {
            std::snprintf(d.err.message, sizeof d.err.message, "%s", "Premature end of JPEG file");
            return false;
        }
    }
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

QString failure(const char *libjpegText)
{
    return QStringLiteral("JPEG 图片无法解码：") + QString::fromLocal8Bit(libjpegText);
}

} // namespace

JpegDecoded decodeJpeg(const QByteArray &data)
{
    JpegDecoded result;
    if (data.isEmpty()) {
        result.error = failure("Empty input file");
        return result;
    }

    Decoder d;
    std::memset(&d, 0, sizeof d);
    d.cinfo.err = jpeg_std_error(&d.err.pub);
    d.err.pub.error_exit = jpegErrorExit;
    d.err.pub.emit_message = jpegEmitMessage;
    d.err.pub.output_message = jpegOutputMessage;

    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    bool ok = startPhase(d, bytes, static_cast<unsigned long>(data.size()));
    if (ok) {
        const qint64 w = d.cinfo.output_width;
        const qint64 h = d.cinfo.output_height;
        if (w <= 0 || h <= 0 || w > kMaxJpegSide || h > kMaxJpegSide || w * h > kMaxJpegPixels
            || d.cinfo.output_components != 3) {
            ok = false;
            std::snprintf(d.err.message, sizeof d.err.message, "picture of %lld x %lld refused",
                static_cast<long long>(w), static_cast<long long>(h));
        } else {
            QImage image(int(w), int(h), QImage::Format_RGB888);
            if (image.isNull()) {
                ok = false;
                std::snprintf(d.err.message, sizeof d.err.message, "%s", "out of memory");
            } else if (decompressPhase(d, image.bits(), image.bytesPerLine())) {
                result.image = image;
            } else {
                ok = false;
            }
        }
    }
    if (!ok)
        result.error = failure(d.err.message);
    if (d.created)
        jpeg_destroy_decompress(&d.cinfo);
    return result;
}

} // namespace txl::ui
