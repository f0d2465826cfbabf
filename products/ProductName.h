// Decoding of rover and lander product titles into the catalogue camera and
// the sol time of the exposure.
#pragma once

#include "geometry/CameraCatalogue.h"

#include <cstdint>
#include <optional>
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
// Mars 2020 engineering and Mastcam-Z product names, raw feed and archive
// alike ("NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01",
// "zr0_0038_0670307360_057ecm_..."): camera, eye, sol and spacecraft clock.
struct Mars2020NameInfo {
    std::string instrument;        // "NAVCAM", "FRONT_HAZCAM", "REAR_HAZCAM" or "MASTCAM_Z"
    std::string eye;               // "left" or "right"
    std::uint32_t sol = 0;         // the sol digits of the name
    std::uint64_t sclkSeconds = 0; // spacecraft clock, whole seconds
    std::uint32_t sclkMilliseconds = 0;
    std::string productType; // the three letters after the clock ("ECM", "EDR", "FDR", ...)
};

// Nothing for a name of another mission or instrument, a name shorter than
// its fixed fields, or fields that are not digits where digits belong. Case
// is ignored.
std::optional<Mars2020NameInfo> DecodeMars2020ProductName(std::string_view title);

// The name of the other eye's image of the same exposure: the eye letter
// swapped, case kept; nothing when the title is not a Mars 2020 stereo name.
std::optional<std::string> Mars2020PartnerName(std::string_view title);

// InSight (IDC, ICC) and Phoenix (RAC) product names, as far as their
// naming conventions say: the camera and the sol. InSight:
// "D000M0005_597065013EDR_..." (D: IDC, C: ICC; sol 0; spacecraft clock;
// product type); Phoenix RAC: "RS016EFF897648211_..." (sol 16). Their cameras
// are not stereo pairs and not in the catalogue. Phoenix SSI names ("SS...")
// keep the catalogue rule of DecodeProductName.
struct LanderNameInfo {
    std::string mission;    // "INSIGHT" or "PHOENIX"
    std::string instrument; // "IDC", "ICC" or "RAC"
    std::uint32_t sol = 0;
    std::uint64_t sclkSeconds = 0;
    std::string productType; // "EDR", "EFF", ...
};
std::optional<LanderNameInfo> DecodeLanderProductName(std::string_view title);
