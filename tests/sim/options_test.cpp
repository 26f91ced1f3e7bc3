// station-sim's command line.
#include "options.h"

#include <gtest/gtest.h>

namespace {

// The command line as the shell would hand it over.
options_result parse(std::vector<const char *> args, options &out, std::string &error) {
    args.insert(args.begin(), "station-sim");
    return parse_options(static_cast<int>(args.size()), args.data(), out, error);
}

TEST(Options, ReadsEveryOptionAndThePrograms) {
    options o;
    std::string error;
    ASSERT_EQ(parse({"--live", "--scenario", "s", "--out", "o", "--trace", "t.vcd", "--rounds", "3",
                     "--name", "n", "--server-name", "srv", "--", "prog", "--help"},
                    o, error),
              options_result::run);
    EXPECT_TRUE(o.live);
    EXPECT_EQ(o.scenario, "s");
    EXPECT_EQ(o.out, "o");
    EXPECT_EQ(o.trace, "t.vcd");
    EXPECT_EQ(o.rounds, 3u);
    EXPECT_EQ(o.name, "n");
    EXPECT_EQ(o.server_name, "srv");
    EXPECT_EQ(o.command, (std::vector<std::string>{"prog", "--help"})); // the program's own

    options loop;
    ASSERT_EQ(parse({"--scenario", "s", "--loop", "--", "p"}, loop, error), options_result::run);
    EXPECT_EQ(loop.rounds, 0u);
    EXPECT_EQ(loop.server_name, "weather-server");
}

TEST(Options, HelpAndWrongCommandLines) {
    options o;
    std::string error;
    EXPECT_EQ(parse({"--scenario", "s", "--help"}, o, error), options_result::help);
    for (std::vector<const char *> bad :
         {std::vector<const char *>{"--bogus", "--scenario", "s", "--", "p"},
          {"--scenario", "s", "--"},
          {"--", "p"},
          {"--scenario", "--", "p"},
          {"--scenario", "s", "--rounds", "0", "--", "p"},
          {"--scenario", "s", "--rounds", "2x", "--", "p"},
          {"--scenario"}}) {
        options fresh;
        EXPECT_EQ(parse(bad, fresh, error), options_result::wrong) << bad[0];
        EXPECT_FALSE(error.empty());
    }
    // Every option, one line each, in the help.
    std::string help = help_text();
    for (const char *name :
         {"--scenario FILE ", "--out DIR ", "--trace FILE.vcd ", "--live ", "--rounds N ",
          "--loop ", "--name NAME ", "--server-name NAME ", "--help "})
        EXPECT_NE(help.find(std::string("\n  ") + name), std::string::npos) << name;
}

} // namespace
