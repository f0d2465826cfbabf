// JPEG 2000 decoding (JP2 files and raw codestreams) through OpenJPEG.
#pragma once

#include <QByteArray>
#include <QImage>

#include <string>

// True when the first bytes of a file are a JP2 signature box or a JPEG 2000
// codestream marker.
bool LooksLikeJpeg2000(const QByteArray& head);

// The decoded image: Grayscale8 or RGB32 for 8-bit data, Grayscale16 with the
// raw sample values for deeper grey data (colour is reduced to 8 bits). A null
// image and a reason in error when the file cannot be decoded.
QImage DecodeJpeg2000(const std::string& path, std::string& error);
