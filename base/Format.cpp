#include "base/Format.h"

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

std::string StrFormat(const char* fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    std::string out;
    if (n < 0) {
        va_end(ap2);
        return out;
    }
    if (static_cast<size_t>(n) < sizeof buf) {
        out.assign(buf, static_cast<size_t>(n));
    } else {
        out.resize(static_cast<size_t>(n));
        std::vsnprintf(out.data(), out.size() + 1, fmt, ap2);
    }
    va_end(ap2);
    return out;
}

namespace {

__extension__ typedef unsigned __int128 Uint128;

constexpr std::uint64_t kPow10[] = {1, 10, 100, 1000, 10000, 100000, 1000000};

// v with precision decimals, exactly rounded (ties to even, as printf does
// in the default rounding mode), for |v| < 1e12 and precision <= 6: the
// binary value m * 2^e times 10^precision is rounded in integer arithmetic.
// Returns false when v is outside that range.
// Writes the text ending at end; returns where it starts, or nullptr.
char* FixedSmall(char* end, double v, int precision) {
    const double a = std::fabs(v);
    if (!(a < 1e12) || precision < 0 || precision > 6) {
        return nullptr;
    }
    // a = m * 2^-shift, from the bits of the double.
    std::uint64_t bits = 0;
    std::memcpy(&bits, &a, sizeof bits);
    const int field = static_cast<int>(bits >> 52);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int shift = 1074; // subnormal numbers
    if (field != 0) {
        m |= std::uint64_t{1} << 52;
        shift = 1075 - field;
    }
    const Uint128 scaled = static_cast<Uint128>(m) * kPow10[precision];
    std::uint64_t q = 0;
    if (shift <= 0) {
        q = static_cast<std::uint64_t>(scaled << -shift);
    } else if (shift < 127) {
        q = static_cast<std::uint64_t>(scaled >> shift);
        const Uint128 rem = scaled - (static_cast<Uint128>(q) << shift);
        const Uint128 half = static_cast<Uint128>(1) << (shift - 1);
        if (rem > half || (rem == half && (q & 1) != 0)) {
            ++q;
        }
    } // else far below half a unit of the last decimal: 0
    // Digits from the right; the '.' after the decimals, at least one
    // integer digit.
    char* p = end;
    int n = 0;
    do {
        if (n == precision && precision > 0) {
            *--p = '.';
        }
        *--p = static_cast<char>('0' + q % 10);
        q /= 10;
        ++n;
    } while (q != 0 || n <= precision);
    if (std::signbit(v)) {
        *--p = '-';
    }
    return p;
}

} // namespace

void AppendFixed(std::string& out, double v, int width, int precision) {
    // Room for the longest finite double in fixed notation (309 integer
    // digits) and its decimals.
    char buf[400];
    char* const end = buf + sizeof buf;
    const char* begin = FixedSmall(end, v, precision);
    const char* stop = end;
    if (begin == nullptr) {
        if (!std::isfinite(v) || precision < 0 || precision > 60) {
            out += StrFormat("%*.*lf", width, precision, v);
            return;
        }
        const auto r = std::to_chars(buf, end, v, std::chars_format::fixed, precision);
        begin = buf;
        stop = r.ptr;
    }
    const auto len = static_cast<size_t>(stop - begin);
    if (width > 0 && len < static_cast<size_t>(width)) {
        out.append(static_cast<size_t>(width) - len, ' ');
    }
    out.append(begin, stop);
}
