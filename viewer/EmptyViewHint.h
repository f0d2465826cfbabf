// What the view shows while no pair is open: how to open one.
#pragma once

#include <QStringList>

class QImage;

// The lines of the hint, first the heading.
QStringList EmptyViewHintLines();

// The hint in light grey, centred in the image (on the black of an empty view).
void DrawEmptyViewHint(QImage& target);
