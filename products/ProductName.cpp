#include "products/ProductName.h"

#include "base/Format.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr double kSolLength = 88775.244;

// Reads an unsigned number from characters [from, to] of the title the way
// "%u" does; a text that does not start with a number gives 0.
std::uint32_t ReadClock(std::string_view title, size_t from, size_t to) {
    if (title.size() <= from) {
        return 0;
    }
    const std::string digits(title.substr(from, to - from + 1));
    unsigned value = 0;
    if (std::sscanf(digits.c_str(), "%u", &value) != 1) {
        return 0;
    }
    return value;
}

// Truncates toward zero and wraps into 32 bits, without undefined behaviour
// for negative or huge values.
std::uint32_t TruncU32(double v) {
    const double t = std::trunc(v);
    if (t >= 0.0 && t < 4294967296.0) {
        return static_cast<std::uint32_t>(t);
    }
    if (t > -9.2e18 && t < 9.2e18) {
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(t));
    }
    return 0;
}

void SetTime(ProductNameInfo& info, std::uint32_t sol, std::uint32_t s) {
    info.nHour = s / 3600;
    info.nMinute = (s % 3600) / 60;
    info.nSecond = s % 60;
    info.nSol = sol;
    info.bHasSol = true;
    info.strSol =
        StrFormat("Sol %u %02u:%02u:%02u", info.nSol, info.nHour, info.nMinute, info.nSecond);
}

} // namespace

std::string InvalidProductNameMessage(std::string_view title) {
    return "Invalid argument: product title \"" + std::string(title) +
           "\" is too short for its mission's naming rule";
}

ProductNameInfo DecodeProductName(std::string_view title) {
    ProductNameInfo info;
    if (title.empty()) {
        return info;
    }
    if (const auto m20 = DecodeMars2020ProductName(title)) {
        // The name gives the sol itself but no local time, and no catalogue
        // camera; the MSL rule below would read a clock out of its sol digits.
        info.bHasSol = true;
        info.nSol = m20->sol;
        info.strSol = StrFormat("Sol %u", m20->sol);
        return info;
    }
    if (const auto lander = DecodeLanderProductName(title)) {
        // The sol the name gives; no catalogue camera.
        info.bHasSol = true;
        info.nSol = lander->sol;
        info.strSol = StrFormat("Sol %u", lander->sol);
        return info;
    }
    const std::uint32_t c = ReadClock(title, 2, 10);
    const char first = title[0];
    if (first == '2' || first == '1' || first == 'S') {
        const std::uint32_t epoch =
            first == '2' ? 126408373u : (first == '1' ? 128228618u : 896225876u);
        const std::uint32_t d = c - epoch;
        const std::uint32_t sol = TruncU32(static_cast<double>(d) / kSolLength);
        const std::uint32_t s =
            TruncU32(static_cast<double>(c) -
                     (kSolLength * static_cast<double>(sol) + static_cast<double>(epoch)));
        SetTime(info, sol + 1, s);
        if (title.size() < kMerMinTitleLength) {
            info.bInvalidArgument = true;
            return info;
        }
        const char eye = title.size() > kMerEyeIndex ? title[kMerEyeIndex] : '\0';
        const int eyeOffset = eye == 'L' ? 0 : (eye == 'R' ? 1 : -1);
        if (eyeOffset < 0) {
            return info;
        }
        if (first == 'S') {
            info.nCameraId = 8 + eyeOffset;
        } else {
            const int rover = first == '1' ? 0 : 4;
            if (title[1] == 'N') {
                info.nCameraId = rover + eyeOffset;
            } else if (title[1] == 'P') {
                info.nCameraId = rover + 2 + eyeOffset;
            }
        }
        return info;
    }
    if (first == 'N' || first == 'n') {
        if (title.size() < 3) {
            info.bInvalidArgument = true;
            return info;
        }
        if (title.size() > 3 && title[3] == '_') {
            const std::uint32_t mc = ReadClock(title, 4, 12);
            const double epoch = 397446666.183;
            const std::uint32_t sol = TruncU32((static_cast<double>(mc) - epoch) / kSolLength);
            const std::uint32_t s =
                TruncU32(static_cast<double>(mc) - (epoch + kSolLength * static_cast<double>(sol)));
            SetTime(info, sol, s);
            const char side = title[1];
            const char pair = title[2];
            const int base =
                (pair == 'A' || pair == 'a') ? 10 : ((pair == 'B' || pair == 'b') ? 12 : -1);
            if (base >= 0) {
                if (side == 'L' || side == 'l') {
                    info.nCameraId = base;
                } else if (side == 'R' || side == 'r') {
                    info.nCameraId = base + 1;
                }
            }
        }
    }
    return info;
}

CameraId CameraOfTitle(std::string_view title) {
    const ProductNameInfo info = DecodeProductName(title);
    return info.bInvalidArgument ? -1 : info.nCameraId;
}

namespace {

bool AllDigits(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (const char ch : s) {
        if (ch < '0' || ch > '9') {
            return false;
        }
    }
    return true;
}

std::uint64_t DigitsValue(std::string_view s) {
    std::uint64_t v = 0;
    for (const char ch : s) {
        v = v * 10 + static_cast<std::uint64_t>(ch - '0');
    }
    return v;
}

char UpperChar(char ch) {
    return (ch >= 'a' && ch <= 'z') ? static_cast<char>(ch - 'a' + 'A') : ch;
}

} // namespace

std::optional<Mars2020NameInfo> DecodeMars2020ProductName(std::string_view title) {
    // IIF_SSSS_CCCCCCCCCC_MMMTTT...: instrument, eye, filter/flag; sol;
    // clock seconds; clock milliseconds and the product type.
    if (title.size() < 26 || title[3] != '_' || title[8] != '_' || title[19] != '_') {
        return std::nullopt;
    }
    Mars2020NameInfo info;
    switch (UpperChar(title[0])) {
    case 'N':
        info.instrument = "NAVCAM";
        break;
    case 'F':
        info.instrument = "FRONT_HAZCAM";
        break;
    case 'R':
        info.instrument = "REAR_HAZCAM";
        break;
    case 'Z':
        info.instrument = "MASTCAM_Z";
        break;
    default:
        return std::nullopt;
    }
    const char eye = UpperChar(title[1]);
    if (eye != 'L' && eye != 'R') {
        return std::nullopt;
    }
    info.eye = eye == 'L' ? "left" : "right";
    const std::string_view sol = title.substr(4, 4);
    const std::string_view seconds = title.substr(9, 10);
    const std::string_view millis = title.substr(20, 3);
    if (!AllDigits(sol) || !AllDigits(seconds) || !AllDigits(millis)) {
        return std::nullopt;
    }
    info.sol = static_cast<std::uint32_t>(DigitsValue(sol));
    info.sclkSeconds = DigitsValue(seconds);
    info.sclkMilliseconds = static_cast<std::uint32_t>(DigitsValue(millis));
    for (const char ch : title.substr(23, 3)) {
        info.productType += UpperChar(ch);
    }
    return info;
}

std::optional<std::string> Mars2020PartnerName(std::string_view title) {
    if (!DecodeMars2020ProductName(title)) {
        return std::nullopt;
    }
    std::string partner(title);
    const char eye = partner[1];
    partner[1] = eye == 'L' ? 'R' : (eye == 'R' ? 'L' : (eye == 'l' ? 'r' : 'l'));
    return partner;
}

std::optional<LanderNameInfo> DecodeLanderProductName(std::string_view title) {
    const auto letters = [](std::string_view s) {
        for (const char ch : s) {
            const char up = UpperChar(ch);
            if (up < 'A' || up > 'Z') {
                return false;
            }
        }
        return !s.empty();
    };
    const auto upper = [](std::string_view s) {
        std::string out;
        for (const char ch : s) {
            out += UpperChar(ch);
        }
        return out;
    };
    LanderNameInfo info;
    const char first = title.empty() ? '\0' : UpperChar(title[0]);
    if ((first == 'C' || first == 'D') && title.size() >= 22 && AllDigits(title.substr(1, 3)) &&
        letters(title.substr(4, 1)) && AllDigits(title.substr(5, 4)) && title[9] == '_' &&
        AllDigits(title.substr(10, 9)) && letters(title.substr(19, 3))) {
        info.mission = "INSIGHT";
        info.instrument = first == 'D' ? "IDC" : "ICC";
        info.sol = static_cast<std::uint32_t>(DigitsValue(title.substr(1, 3)));
        info.sclkSeconds = DigitsValue(title.substr(10, 9));
        info.productType = upper(title.substr(19, 3));
        return info;
    }
    if (title.size() >= 17 && upper(title.substr(0, 2)) == "RS" && AllDigits(title.substr(2, 3)) &&
        letters(title.substr(5, 3)) && AllDigits(title.substr(8, 9))) {
        info.mission = "PHOENIX";
        info.instrument = "RAC";
        info.sol = static_cast<std::uint32_t>(DigitsValue(title.substr(2, 3)));
        info.sclkSeconds = DigitsValue(title.substr(8, 9));
        info.productType = upper(title.substr(5, 3));
        return info;
    }
    return std::nullopt;
}
