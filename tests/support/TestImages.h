// Small images made on the fly for the widget tests.
#pragma once

#include <QColor>
#include <QDir>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <string>

// An image of one colour with a one-pixel marker colour in its top-left pixel.
inline QImage SolidImage(int w, int h, QColor fill) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(fill);
    return img;
}

// Writes img into dir under name (the extension picks the format unless
// format is given) and returns the full path.
inline std::string WriteImage(const QTemporaryDir& dir, const QString& name, const QImage& img,
                              const char* format = nullptr) {
    const QString path = QDir(dir.path()).filePath(name);
    if (!img.save(path, format)) {
        return {};
    }
    return path.toStdString();
}
