// Fixed-notation numbers: the fast path must print what printf prints.
#include "base/Format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

TEST(Format, AppendFixedPrintsLikePrintf) {
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<double> values = {0.0,          -0.0,         0.5,    1.5,     2.5,   -2.5,
                                  0.05,         0.0078125,    9.95,   -9.95,   99.95, 0.00005,
                                  1e300,        -1e-300,      5e-324, 1.0 / 3, inf,   -inf,
                                  std::nan(""), 123456.78125, -0.04,  -0.06};
    std::mt19937_64 rng(5);
    for (int i = 0; i < 3000; ++i) {
        const double mag = std::pow(10.0, static_cast<double>(rng() % 30) - 15.0);
        values.push_back((static_cast<double>(rng() % 2000001) - 1000000.0) / 1000000.0 * mag);
    }
    // Exact binary fractions hit the ties of every precision.
    for (int i = 0; i < 3000; ++i) {
        const int bits = static_cast<int>(rng() % 24);
        values.push_back(std::ldexp(
            static_cast<double>(static_cast<int64_t>(rng() % 4000001) - 2000000), -bits));
    }
    // Around the magnitudes where the integer path hands over.
    for (const double big : {999999999999.99951, 1e12, 4503599627370495.5, 9007199254740993.0,
                             123456789012.3456789, -0.5, 0.5, 1.5, 1e-7, 4.9999999999999996e-7}) {
        values.push_back(big);
        values.push_back(std::nextafter(big, 0.0));
        values.push_back(std::nextafter(big, 1e300));
    }
    const int shapes[][2] = {{6, 4}, {4, 1}, {4, 6}, {0, 6}, {12, 3}, {1, 0}, {3, 2}, {0, 5}};
    for (const double v : values) {
        for (const auto& s : shapes) {
            std::string got;
            AppendFixed(got, v, s[0], s[1]);
            char want[512];
            std::snprintf(want, sizeof want, "%*.*lf", s[0], s[1], v);
            ASSERT_EQ(got, want) << v << " %" << s[0] << "." << s[1] << "lf";
        }
    }
}
