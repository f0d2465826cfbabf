// Mars 2020 product names: camera, eye, sol and clock of raw and archive
// names, the partner eye's name, and names of other missions left alone.
#include "products/ProductName.h"

#include <gtest/gtest.h>

TEST(Mars2020Name, RawAndArchiveNamesOfEachStereoCameraDecode) {
    const auto nav =
        DecodeMars2020ProductName("NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01");
    ASSERT_TRUE(nav.has_value());
    EXPECT_EQ(nav->instrument, "NAVCAM");
    EXPECT_EQ(nav->eye, "left");
    EXPECT_EQ(nav->sol, 670u);
    EXPECT_EQ(nav->sclkSeconds, 726421423u);
    EXPECT_EQ(nav->sclkMilliseconds, 362u);
    EXPECT_EQ(nav->productType, "ECM");
    // Archive file names are lower case.
    const auto archive =
        DecodeMars2020ProductName("zr0_0038_0670307360_057fdr_n0031392zcam08007_1100luj01");
    ASSERT_TRUE(archive.has_value());
    EXPECT_EQ(archive->instrument, "MASTCAM_Z");
    EXPECT_EQ(archive->eye, "right");
    EXPECT_EQ(archive->sol, 38u);
    EXPECT_EQ(archive->productType, "FDR");
    EXPECT_EQ(DecodeMars2020ProductName("FLF_0001_0667022672_000ECM_N0010052AUT_04096_00_2I3J01")
                  ->instrument,
              "FRONT_HAZCAM");
    EXPECT_EQ(
        DecodeMars2020ProductName("RRB_0100_0675887049_118ECM_N0040048RHAZ00100_01_0LLJ01")->eye,
        "right");
    // The sclk decides the sol-independent order of two exposures.
    EXPECT_LT(DecodeMars2020ProductName("NLF_0731_0731848568_991ECM_N0361610NCAM12731_04_195J01")
                  ->sclkSeconds,
              DecodeMars2020ProductName("NLF_0731_0731848569_000ECM_N0361610NCAM12731_04_195J01")
                  ->sclkSeconds);
}

TEST(Mars2020Name, PartnerNamesSwapOnlyTheEyeAndKeepCase) {
    EXPECT_EQ(Mars2020PartnerName("NLF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01"),
              "NRF_0670_0726421423_362ECM_N0320604NCAM08111_01_095J01");
    EXPECT_EQ(Mars2020PartnerName("zr0_0038_0670307360_057ecm_x"), "zl0_0038_0670307360_057ecm_x");
    EXPECT_FALSE(Mars2020PartnerName("NLB_397586934EDR_F0010008AUT_04096M1").has_value());
}

TEST(Mars2020Name, NamesOfOtherMissionsAndBrokenFieldsAreNotMars2020) {
    for (const char* name : {
             "NLB_397586934EDR_F0010008AUT_04096M1", // MSL Navcam
             "1N128287142EFF0300P1800L0M1",          // MER
             "NLF_0670_0726421423",                  // cut short
             "NXF_0670_0726421423_362ECM_N0320604",  // no eye
             "SLF_0670_0726421423_362ECM_N0320604",  // not a stereo camera decoded here
             "NLF_06a0_0726421423_362ECM_N0320604",  // letters in the sol
             "NLF_0670_07264214x3_362ECM_N0320604",  // letters in the clock
             "NLF-0670-0726421423-362ECM-N0320604",  // other separators
             "",
         }) {
        EXPECT_FALSE(DecodeMars2020ProductName(name).has_value()) << name;
    }
}

TEST(Mars2020Name, TheSolOfAMars2020NameIsItsSolDigitsNotAnMslClockReadOutOfThem) {
    const ProductNameInfo info =
        DecodeProductName("NLF_0672_0726598021_113ECM_N0320604NCAM00709_01_295J01");
    EXPECT_TRUE(info.bHasSol);
    EXPECT_EQ(info.nSol, 672u);
    EXPECT_EQ(info.strSol, "Sol 672");
    EXPECT_EQ(info.nCameraId, -1);
    // An MSL name of the same first letters keeps its clock rule.
    EXPECT_EQ(DecodeProductName("NLA_397446666EDR_F0010008AUT_04096M1").strSol, "Sol 0 00:00:00");
}
