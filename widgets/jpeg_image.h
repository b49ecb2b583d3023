#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a JPEG held in memory with libjpeg. A broken picture, also one that is cut short or
// corrupt, gives a null image and the decoder's own message in *error; it never ends the
// program.
QImage decodeJpeg(const QByteArray& data, QString* error = nullptr);

// The banner of the main window; throws, naming the decoder's reason, when it cannot be read.
QImage decodeBanner(const QByteArray& data);
