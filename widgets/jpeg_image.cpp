#include "jpeg_image.h"

#include "errors.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool damaged; // a warning: the data is corrupt or cut short, the picture made up in part
};

void onError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Trace messages say nothing; a warning means the picture is damaged.
void onMessage(j_common_ptr cinfo, int level) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (level >= 0 || err->damaged)
        return;
    (*cinfo->err->format_message)(cinfo, err->message);
    err->damaged = true;
}

// Kept free of objects with destructors between setjmp and longjmp.
bool decode(const unsigned char* bytes, unsigned long size, QImage* out, char* message) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onError;
    err.pub.emit_message = onMessage;
    err.message[0] = 0;
    err.damaged = false;
    if (setjmp(err.jump)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, bytes, size);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    *out = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                  QImage::Format_RGB888);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out->scanLine(static_cast<int>(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (err.damaged)
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.message);
    return !err.damaged;
}

} // namespace

QImage decodeJpeg(const QByteArray& data, QString* error) {
    QImage img;
    char message[JMSG_LENGTH_MAX] = {0};
    if (data.isEmpty()) {
        if (error)
            *error = QStringLiteral("empty picture");
        return {};
    }
    if (!decode(reinterpret_cast<const unsigned char*>(data.constData()),
                static_cast<unsigned long>(data.size()), &img, message)) {
        if (error)
            *error = QString::fromLocal8Bit(message);
        return {};
    }
    return img;
}

QImage decodeBanner(const QByteArray& data) {
    QString error;
    QImage img = decodeJpeg(data, &error);
    if (img.isNull())
        throw quorvale::LauncherError("The banner picture could not be read: " +
                                      error.toStdString());
    return img;
}
