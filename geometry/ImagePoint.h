// A fractional position in an image.
#pragma once

// x = column (sample), y = row (line), image pixels; the centre of the first
// pixel is (0, 0).
struct ImagePoint {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const ImagePoint&) const = default;
};
