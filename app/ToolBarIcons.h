// The two tool-bar pictures, drawn in the 16 x 15 grid of the tool bar.
#pragma once

#include <QIcon>

QIcon OpenStereoPairIcon();
QIcon SwapImagesIcon();
