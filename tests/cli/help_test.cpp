// ranvista-cli --help, --version and the hints for mistyped names.
#include "cli/Help.h"
#include "tests/support/CliRunner.h"

#include <gtest/gtest.h>

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(CliHelp, EverySubcommandShowsItsOwnHelpAndTheVersionInsteadOfRunning) {
    const CliResult version = RunCli("--version");
    ASSERT_EQ(version.status, 0);
    EXPECT_TRUE(Contains(version.out, "ranvista-cli ")) << version.out;
    for (const auto& c : CliCommands()) {
        SCOPED_TRACE(c.name);
        // Anywhere among the arguments, and with arguments that alone would fail.
        const CliResult help = RunCli(c.name + " --bogus-first -5 --help");
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("usage: ranvista-cli " + c.name + " ", 0), 0u) << help.out;
        for (const auto& o : c.options) {
            EXPECT_TRUE(Contains(help.out, "--" + o.name)) << o.name;
        }
        EXPECT_TRUE(Contains(help.out, "\n  ranvista-cli " + c.name + " ")) << "no example";
        EXPECT_EQ(RunCli(c.name + " -h").out, help.out);
        EXPECT_EQ(RunCli("help " + c.name).out, help.out);
        const CliResult v = RunCli(c.name + " x --version");
        EXPECT_EQ(v.status, 0);
        EXPECT_EQ(v.out, version.out);
    }
}

TEST(CliHelp, HelpAsTheValueOfAnOptionOrAfterDoubleDashIsNotARequestForHelp) {
    // "--rl-vector TEXT" takes the next token verbatim, so this is a measure
    // without images, not a help request.
    const auto valued = RunCliWithErr("measure --rl-vector --help");
    EXPECT_EQ(valued.status, 2);
    EXPECT_TRUE(Contains(valued.err, "--left is required")) << valued.err;
    const auto positional = RunCliWithErr("decode -- --help");
    EXPECT_FALSE(Contains(positional.out, "usage:")) << positional.out;
}

TEST(CliHelp, EveryDocumentedOptionIsOneItsCommandAccepts) {
    for (const auto& c : CliCommands()) {
        for (const auto& o : c.options) {
            const std::string arg = "--" + o.name + (o.value.empty() ? "" : "=1");
            const auto r = RunCliWithErr(c.name + " " + arg);
            EXPECT_FALSE(Contains(r.err, "unknown option"))
                << c.name << " " << arg << ": " << r.err;
        }
    }
}

TEST(CliHelp, AMistypedOptionOrCommandNamesTheClosestKnownOne) {
    EXPECT_TRUE(Contains(RunCliWithErr("measure --lgo x.txt").err, "did you mean --log?"));
    EXPECT_TRUE(Contains(RunCliWithErr("measure --vertex v.txt").err, "did you mean --vertices?"));
    EXPECT_TRUE(Contains(RunCliWithErr("ray --recrod 1,0,0,0,0,0").err, "did you mean --record?"));
    const auto command = RunCliWithErr("mesure --json");
    EXPECT_EQ(command.status, 2);
    EXPECT_TRUE(Contains(command.err, "unknown command 'mesure' (did you mean measure?)"));
    // Nothing near: no guess.
    const auto far = RunCliWithErr("measure --zzzzzz");
    EXPECT_EQ(far.status, 2);
    EXPECT_TRUE(Contains(far.err, "unknown option --zzzzzz"));
    EXPECT_FALSE(Contains(far.err, "did you mean"));
    EXPECT_EQ(ClosestName("2d", {"db"}), std::nullopt);
    EXPECT_EQ(ClosestName("dbb", {"2d", "db"}), "db");
}

TEST(CliHelp, TheManualPageCarriesEveryCommandAndOptionOfTheHelp) {
    const std::string page = CliManPage();
    const auto roff = [](const std::string& name) {
        std::string out;
        for (char ch : name) {
            out += ch == '-' ? std::string("\\-") : std::string(1, ch);
        }
        return out;
    };
    for (const auto& c : CliCommands()) {
        EXPECT_TRUE(Contains(page, ".SS " + roff(c.name) + "\n")) << c.name;
        for (const auto& o : c.options) {
            EXPECT_TRUE(Contains(page, "\\fB\\-\\-" + roff(o.name) + "\\fR")) << o.name;
        }
    }
    // No text line may start as a request by accident.
    size_t pos = 0;
    while ((pos = page.find("\n'", pos)) != std::string::npos) {
        ADD_FAILURE() << "line starting with ' at " << pos;
        ++pos;
    }
}
