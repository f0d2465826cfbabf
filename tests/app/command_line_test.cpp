// ranvista --version and the hint for a mistyped option.
#include "app/RanvistaApp.h"

#include <gtest/gtest.h>

TEST(CommandLineHelp, VersionAndMistypedOptionsAnswerWithoutStarting) {
    ParsedCommandLine cmd = ParseCommandLine({"ranvista", "--version"});
    EXPECT_FALSE(cmd.bRun);
    EXPECT_EQ(cmd.nExitCode, 0);
    EXPECT_EQ(cmd.sText.rfind("ranvista ", 0), 0u) << cmd.sText;

    cmd = ParseCommandLine({"ranvista", "--dv=ImgBinDat", "l.png", "r.png"});
    EXPECT_FALSE(cmd.bRun);
    EXPECT_EQ(cmd.nExitCode, 2);
    EXPECT_NE(cmd.sText.find("Did you mean --db?"), std::string::npos) << cmd.sText;
    // The help names the program, whatever file it runs from.
    EXPECT_NE(cmd.sText.find("Usage: ranvista [options]"), std::string::npos) << cmd.sText;

    cmd = ParseCommandLine({"ranvista", "--frobnicate"});
    EXPECT_EQ(cmd.nExitCode, 2);
    EXPECT_EQ(cmd.sText.find("Did you mean"), std::string::npos);
}
