// The picture of the Analyse dialog: a rover's camera mast against the
// Martian sky, drawn by the application itself.
#pragma once

#include <QPixmap>

inline constexpr int kMastPictureWidth = 104;
inline constexpr int kMastPictureHeight = 70;

QPixmap MastPicture();
