#include "products/PairIdentification.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// A 27-character MER title with the given eye letter at index 23.
std::string Mer(char eye, char instrument = 'N') {
    std::string t = "1N128287142EFF0300P1800L0M1";
    t[1] = instrument;
    t[23] = eye;
    return t;
}

struct Case {
    std::string left, right;
    bool recognised, swap, verify;
};
} // namespace

TEST(PairIdentification, EyeLettersDecideSwapAndVerify) {
    const std::string mslL = "NLA_397681339EDR_F0020000AUT_04096M1";
    std::string mslR = mslL;
    mslR[1] = 'R';
    const Case cases[] = {
        {Mer('L'), Mer('R'), true, false, false},
        {Mer('R'), Mer('L'), true, true, false}, // the wrong way round
        {Mer('L'), Mer('L'), true, false, true}, // both left
        {Mer('1'), Mer('2'), true, true, false}, // neither eye letter: swapped
        {Mer('l', 'p'), Mer('r', 'p'), true, false, false},
        {Mer('L', 'X'), Mer('R', 'X'), false, false, false}, // not a rover instrument
        {Mer('L').substr(0, 26), Mer('R').substr(0, 26), false, false, false},
        {Mer('L'), Mer('R', 'P'), false, false, false}, // different instruments
        {"S" + Mer('L').substr(1), "S" + Mer('R').substr(1), true, false, false},
        // MSL titles carry a digit at index 23; their second letter is the eye.
        {mslL, mslR, true, false, false},
        {mslR, mslL, true, true, false},
        {mslL, mslL, false, false, false}, // same eye in both: not a pair
    };
    for (const Case& c : cases) {
        const PairIdentification id = IdentifyPair(c.left, c.right);
        EXPECT_EQ(id.bRecognised, c.recognised) << c.left << " " << c.right;
        EXPECT_EQ(id.bSwap, c.swap) << c.left << " " << c.right;
        EXPECT_EQ(id.bVerify, c.verify) << c.left << " " << c.right;
    }
}

TEST(PairIdentification, EyeInTheSecondLetterWhenTheThirdIsAnUnderscore) {
    std::string left = "NR__" + std::string(23, 'x');
    std::string right = "NL__" + std::string(23, 'x');
    left[23] = 'L';
    right[23] = 'R';
    // Neither side's second letter is its own eye: swap, although index 23
    // agrees with the order given.
    PairIdentification id = IdentifyPair(left, right);
    EXPECT_TRUE(id.bRecognised);
    EXPECT_TRUE(id.bSwap);
    // Second letters right, but index 23 of the left title says 'R': verify.
    left[1] = 'L';
    right[1] = 'R';
    left[23] = 'R';
    right[23] = 'R';
    id = IdentifyPair(left, right);
    EXPECT_TRUE(id.bVerify);
    EXPECT_FALSE(id.bSwap);
}

TEST(PairIdentification, Mars2020PairsAreToldByTheirEyeLetterNotAClockDigit) {
    const std::string left = "NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01";
    std::string right = left;
    right[1] = 'R';
    PairIdentification id = IdentifyPair(left, right);
    EXPECT_TRUE(id.bRecognised);
    EXPECT_FALSE(id.bSwap);
    EXPECT_FALSE(id.bVerify);
    id = IdentifyPair(right, left);
    EXPECT_TRUE(id.bRecognised && id.bSwap);
    id = IdentifyPair(left, left);
    EXPECT_TRUE(id.bRecognised && id.bVerify && !id.bSwap);
    // A Navcam and a Hazcam image are no pair.
    std::string hazcam = right;
    hazcam[0] = 'F';
    EXPECT_FALSE(IdentifyPair(left, hazcam).bRecognised);
}
