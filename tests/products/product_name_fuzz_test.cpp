// Random and mutated titles never crash the decoder, and its result always
// keeps its own invariants.
#include "base/Paths.h"
#include "products/ProductName.h"

#include <gtest/gtest.h>

#include <random>

TEST(ProductNameFuzz, RandomTitlesKeepTheInvariants) {
    std::mt19937 rng(20261209);
    const std::string seeds[] = {"1N128287142EFF0300P1800L0M1",
                                 "NLB_397586934EDR_F0010008AUT_04096M1",
                                 "2P126500000ESF0100P2500R1M1", "SS123456789EFF0300P1800R0M1",
                                 "nra_397586934edr_f0010008aut_04096m1"};
    const std::string alphabet = "0123456789NLRPSABnlrpsab_-+ .\\/\t";
    for (int i = 0; i < 20000; ++i) {
        std::string t = seeds[rng() % 5];
        const int edits = static_cast<int>(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            const size_t pos = t.empty() ? 0 : rng() % t.size();
            switch (rng() % 3) {
            case 0:
                if (!t.empty()) {
                    t[pos] = alphabet[rng() % alphabet.size()];
                }
                break;
            case 1:
                t.resize(rng() % (t.size() + 1));
                break;
            default:
                t.insert(pos, 1, static_cast<char>(rng() % 256));
                break;
            }
        }
        const ProductNameInfo info = DecodeProductName(t);
        EXPECT_GE(info.nCameraId, -1);
        EXPECT_LT(info.nCameraId, 14);
        EXPECT_EQ(info.bHasSol, !info.strSol.empty());
        if (info.bInvalidArgument) {
            EXPECT_EQ(info.nCameraId, -1);
        }
        if (info.bHasSol) {
            EXPECT_LT(info.nMinute, 60u);
            EXPECT_LT(info.nSecond, 60u);
        }
        // Path pieces always fit back together.
        const std::string name = PathName(t);
        const std::string ext = PathExtension(t);
        EXPECT_EQ(PathTitle(t) + (ext.empty() ? "" : "." + ext), name);
    }
}
