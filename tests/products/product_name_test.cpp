// Product-name decoding and the path functions.
#include "base/Paths.h"
#include "products/ProductName.h"

#include <gtest/gtest.h>

TEST(ProductName, MissionExamples) {
    ProductNameInfo a = DecodeProductName("1N128287142EFF0300P1800L0M1");
    EXPECT_EQ(a.nCameraId, 0);
    EXPECT_EQ(a.strSol, "Sol 1 16:15:24");
    ProductNameInfo b = DecodeProductName("NLB_397586934EDR_F0010008AUT_04096M1");
    EXPECT_EQ(b.nCameraId, 12);
    EXPECT_EQ(b.strSol, "Sol 1 14:18:12");
    ProductNameInfo c = DecodeProductName("2P126500000ESF0100P2500R1M1");
    EXPECT_EQ(c.nCameraId, 7);
    EXPECT_EQ(c.strSol, "Sol 2 00:47:31");
    EXPECT_EQ(c.nSol, 2u);
    EXPECT_EQ(c.nMinute, 47u);
    EXPECT_EQ(DecodeProductName("nra_397586934edr_f0010008aut_04096m1").nCameraId, 11);
    EXPECT_EQ(DecodeProductName("SS123456789EFF0300P1800R0M1").nCameraId, 9);
    // Phoenix and MER letters are case-sensitive.
    EXPECT_FALSE(DecodeProductName("ss123456789eff0300p1800r0m1").bHasSol);
    EXPECT_EQ(DecodeProductName("2N126500000ESF0100P2500l1M1").nCameraId, -1);
}

TEST(ProductName, SolClockBoundaries) {
    EXPECT_EQ(DecodeProductName("2N126408373EFF0300P1800L0M1").strSol, "Sol 1 00:00:00");
    EXPECT_EQ(DecodeProductName("2N126497148EFF0300P1800L0M1").strSol, "Sol 1 24:39:35");
    EXPECT_EQ(DecodeProductName("2N126497149EFF0300P1800L0M1").strSol, "Sol 2 00:00:00");
    EXPECT_EQ(DecodeProductName("NLA_397446666EDR_F0010008AUT_04096M1").strSol, "Sol 0 00:00:00");
    // A MER clock before the epoch wraps modulo 2^32 into a large sol.
    const ProductNameInfo w = DecodeProductName("2N000000001EFF0300P1800L0M1");
    EXPECT_TRUE(w.bHasSol);
    EXPECT_GT(w.nSol, 40000u);
    // A clock that does not start with a digit reads as 0.
    EXPECT_TRUE(DecodeProductName("1NXXXXXXXXXEFF0300P1800L0M1").bHasSol);
}

TEST(ProductName, CameraRulesAndInvalidTitles) {
    const ProductNameInfo x = DecodeProductName("1X128287142EFF0300P1800L0M1");
    EXPECT_TRUE(x.bHasSol);
    EXPECT_EQ(x.nCameraId, -1);
    // Exactly 23 characters: nothing at index 23, no camera, no error.
    const ProductNameInfo e = DecodeProductName("1N128287142EFF0300P1800");
    EXPECT_FALSE(e.bInvalidArgument);
    EXPECT_EQ(e.nCameraId, -1);
    // Too short for the rule: an invalid argument, sol text already made.
    const ProductNameInfo s = DecodeProductName("1");
    EXPECT_TRUE(s.bInvalidArgument);
    EXPECT_EQ(s.nCameraId, -1);
    EXPECT_TRUE(s.bHasSol);
    EXPECT_TRUE(DecodeProductName("N_").bInvalidArgument);
    EXPECT_FALSE(DecodeProductName("NLA").bInvalidArgument);
    EXPECT_FALSE(DecodeProductName("NLA").bHasSol);
    EXPECT_FALSE(DecodeProductName("").bHasSol);
    EXPECT_FALSE(DecodeProductName("IMG_0001").bInvalidArgument);
    EXPECT_NE(InvalidProductNameMessage("1").find("\"1\""), std::string::npos);
}

TEST(Paths, FolderNameExtensionTitle) {
    const std::string p = "C:\\imgs\\2P126500000ESF0100P2500R1M1.IMG";
    EXPECT_EQ(PathFolder(p), "C:\\imgs\\");
    EXPECT_EQ(PathName(p), "2P126500000ESF0100P2500R1M1.IMG");
    EXPECT_EQ(PathExtension(p), "IMG");
    EXPECT_EQ(PathTitle(p), "2P126500000ESF0100P2500R1M1");
    EXPECT_EQ(PathExtension("a.b.img"), "img");
    EXPECT_EQ(PathTitle("a.b.img"), "a.b");
    EXPECT_EQ(PathExtension("/data/a.b/file"), "");
    EXPECT_EQ(PathTitle("/data/a.b/file"), "file");
    EXPECT_EQ(PathFolder("/x/y/z.png"), "/x/y/");
    EXPECT_EQ(PathFolder("plain.txt"), "plain.txt");
    EXPECT_EQ(PathName(""), "");
    EXPECT_EQ(PathTitle("/x/trailing."), "trailing.");
    EXPECT_EQ(PathTitle("mixed/sep\\name.tif"), "name");
}

TEST(ProductName, LanderNamesGiveTheirCameraAndSolButNoCatalogueCamera) {
    const auto idc = DecodeLanderProductName("D000M0005_597065013EDR_F0000_0461M1");
    ASSERT_TRUE(idc);
    EXPECT_EQ(idc->mission, "INSIGHT");
    EXPECT_EQ(idc->instrument, "IDC");
    EXPECT_EQ(idc->sol, 0u);
    EXPECT_EQ(idc->sclkSeconds, 597065013u);
    EXPECT_EQ(idc->productType, "EDR");
    const auto icc = DecodeLanderProductName("c123m0008_597257914edr_f0000_0462m1");
    ASSERT_TRUE(icc);
    EXPECT_EQ(icc->instrument, "ICC");
    EXPECT_EQ(icc->sol, 123u);
    const auto rac = DecodeLanderProductName("RS016EFF897648211_1D7A0MBM1");
    ASSERT_TRUE(rac);
    EXPECT_EQ(rac->mission, "PHOENIX");
    EXPECT_EQ(rac->instrument, "RAC");
    EXPECT_EQ(rac->sol, 16u);
    EXPECT_EQ(rac->productType, "EFF");

    const ProductNameInfo info = DecodeProductName("D000M0005_597065013EDR_F0000_0461M1");
    EXPECT_EQ(info.nCameraId, -1);
    EXPECT_TRUE(info.bHasSol);
    EXPECT_EQ(info.strSol, "Sol 0");
    // Other missions' names are not taken for landers' and keep their rules.
    for (const char* other :
         {"NLB_701383954RAS_F0933408NCAM00200M1", "RLB_431397159EDR_F0141262RHAZ00323M1",
          "CR0_398380569EDR_F0030000CCAM04010M1", "1N128287142EFF0300P1800L0M1", "D000M0005",
          "RSXXXEFF897648211"}) {
        EXPECT_FALSE(DecodeLanderProductName(other)) << other;
    }
    EXPECT_EQ(DecodeProductName("NLB_701383954RAS_F0933408NCAM00200M1").nCameraId, 12);
    EXPECT_EQ(DecodeProductName("NRB_701383954ILT_F0933408NCAM00200M1").nCameraId, 13);
}
