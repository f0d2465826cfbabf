// Reading the images of a pair for the matcher on the command line: PNG
// (8- or 16-bit, grey or colour; colour is reduced to its luminance), and
// PDS3 and VICAR products with their pixels (an attached or a detached label).
// A raw colour mosaic is read as its luminance (matching/BayerMosaic.h).
#pragma once

#include "matching/GreyImage.h"

#include <string>

struct ImageFileResult {
    bool ok = false;
    std::string error; // "Unable to open PATH", "PATH: not a PNG image" ...
    GreyImage image;
    int bitDepth = 0;
    bool mosaic = false; // the samples were a raw colour mosaic, now its luminance
};

ImageFileResult ReadGreyImage(const std::string& path);
