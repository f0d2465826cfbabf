// Small pieces every product reader shares (not for use outside them).
#pragma once

#include "products/ProductReader.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

namespace product_read {

inline ProductReadResult Fail(std::string message) {
    ProductReadResult r;
    r.message = std::move(message);
    return r;
}

// A counter or index read as a double: whole and of a plausible size, or nothing.
inline std::optional<long long> Whole(double d) {
    if (!(std::fabs(d) <= 1e12) || d != std::trunc(d)) {
        return std::nullopt;
    }
    return static_cast<long long>(d);
}

// Whether two motion counters name the same vehicle frame. Labels give a
// model's frame by its leading counters (Mars 2020: site, drive, pose) and
// the vehicle's pose by the whole counter (arm, mast, ... as well), so the
// shorter must begin the longer.
inline bool SameMotionCounter(const std::vector<long long>& a, const std::vector<long long>& b) {
    const std::size_t common = std::min(a.size(), b.size());
    return std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(common), b.begin());
}

} // namespace product_read
