// Small pieces every product reader shares (not for use outside them).
#pragma once

#include "products/ProductReader.h"

#include <cmath>
#include <optional>
#include <string>

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

} // namespace product_read
