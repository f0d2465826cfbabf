// Decoding of rover and lander product titles into the catalogue camera and
// the sol time of the exposure.
#pragma once

#include "geometry/CameraCatalogue.h"

#include <cstdint>
#include <string>
#include <string_view>

struct ProductNameInfo {
    int nCameraId = -1;
    bool bHasSol = false;
    std::uint32_t nSol = 0;
    std::uint32_t nHour = 0;
    std::uint32_t nMinute = 0;
    std::uint32_t nSecond = 0;
    std::string strSol; // "Sol %u %02u:%02u:%02u", empty without a sol
    // Set when the title is too short for the rule its first character
    // selects (MER/Phoenix: < 23 characters; MSL: < 3). The camera is then -1;
    // a MER/Phoenix sol text has already been filled in.
    bool bInvalidArgument = false;
};

// MER and Phoenix titles: the eye letter's position and the length below
// which a title does not follow the naming rule.
inline constexpr std::size_t kMerEyeIndex = 23;
inline constexpr std::size_t kMerMinTitleLength = 23;

// The message shown for a title rejected as an invalid argument.
std::string InvalidProductNameMessage(std::string_view title);

ProductNameInfo DecodeProductName(std::string_view title);

// The catalogue camera a product title names, as the Analyse dialog selects
// it; -1 for an unknown title or one too short for its mission's rule.
CameraId CameraOfTitle(std::string_view title);
