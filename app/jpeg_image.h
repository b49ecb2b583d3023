#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a JPEG held in memory with libjpeg. A broken picture gives a null image and the
// decoder's own message in *error; it never ends the program.
QImage decodeJpeg(const QByteArray& data, QString* error = nullptr);
