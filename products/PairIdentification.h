// Whether two product titles look like the left and right image of one
// stereo pair, and whether they seem to be the wrong way round.
#pragma once

#include <string_view>

struct PairIdentification {
    bool bRecognised = false; // both titles name a known rover camera pair
    bool bSwap = false;       // the left title names the right eye and vice versa
    bool bVerify = false;     // the eye letters disagree: ask the user to check
};

// leftTitle and rightTitle are the file titles (no folder, no extension).
PairIdentification IdentifyPair(std::string_view leftTitle, std::string_view rightTitle);
