// The argument loop: banner, usage, options, left-to-right dispatch.
#include <gtest/gtest.h>

#include "support/golden.h"

namespace segsniff::test {
namespace {

const std::string soi_eoi = Bytes{0xFF, 0xD8, 0xFF, 0xD9}.str();

TEST(CommandLine, UsageForNoArgumentsAndForMissingOptionArguments) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"-copy", "src"}, {"-INFO"}, {"-outdir"}, {"-blocksize"}}) {
    RunResult r = run_with_files({}, args);
    EXPECT_TRUE(same_text(r.out, banner()));
    EXPECT_TRUE(same_text(r.err, usage_text()));
    EXPECT_EQ(r.status, 1);
  }
}

TEST(CommandLine, OptionWordsMatchWholeAndWithoutCase) {
  RunResult r = run_with_files({}, {"-RECOVER", "-Recover"});
  EXPECT_TRUE(same_text(r.out, banner() + "Option -recover found\nOption -recover found\n"));
  EXPECT_EQ(r.status, 0);
  for (const char* word : {"-rec", "-recovery", "-", "--copy", "-hel", "--versions", "---"}) {
    r = run_with_files({}, {word, "never.jpg"});
    EXPECT_TRUE(same_text(r.out, banner())) << word;
    EXPECT_TRUE(same_text(r.err, std::string("Unknown option ") + word + "\n" + usage_text()));
    EXPECT_EQ(r.status, 1);
  }
}

// -blocksize takes a FAT or exFAT cluster size in bytes, written in decimal;
// anything else is a usage fault, named before the usage text.
TEST(CommandLine, BlockSizeIsAPowerOfTwoFromASectorTo32MiB) {
  RunResult r = run_with_files({}, {"-BlockSize", "8192", "-blocksize", "00512", "-blocksize", "33554432"});
  EXPECT_TRUE(same_text(r.out, banner() + "Option -blocksize found (8192 bytes)\n"
                                          "Option -blocksize found (512 bytes)\n"
                                          "Option -blocksize found (33554432 bytes)\n"));
  EXPECT_EQ(r.status, 0);
  for (const char* value : {"1000", "256", "67108864", "4k", "", "-4096", "99999999999999999999999"}) {
    r = run_with_files({}, {"-blocksize", value, "never.jpg"});
    EXPECT_TRUE(same_text(r.out, banner())) << value;
    EXPECT_TRUE(same_text(r.err, std::string("-blocksize takes a power of two from 512 to 33554432 bytes, not '") +
                                     value + "'\n" + usage_text()));
    EXPECT_EQ(r.status, 1);
  }
}

// Help and version are answers, not faults: standard output, status 0, and
// nothing to their right is looked at.
TEST(CommandLine, HelpAndVersionAnswerOnStandardOutput) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  };
  const Case cases[] = {
      {{"-h", "never.jpg"}, banner() + usage_text()},
      {{"-HELP"}, banner() + usage_text()},
      {{"--help", "-bogus"}, banner() + usage_text()},
      {{"-version", "never.jpg"}, banner()},
      {{"--Version"}, banner()},
  };
  for (const Case& c : cases) {
    RunResult r = run_with_files({}, c.args);
    EXPECT_TRUE(same_text(r.out, c.out)) << c.args[0];
    EXPECT_TRUE(same_text(r.err, ""));
    EXPECT_EQ(r.status, 0);
  }
}

// `segsniff -recover -- *` in a folder that holds a file named -copy: every
// argument after "--" is a file, so nothing is copied over b.jpg.
TEST(CommandLine, DoubleDashEndsTheOptionWords) {
  ScratchDir dir;
  dir.write("-copy", "not a jpeg");
  dir.write("a.jpg", soi_eoi);
  dir.write("b.jpg", soi_eoi);
  RunResult r = run_segsniff(dir, {"-recover", "--", "-copy", "a.jpg", "b.jpg", "--", "-h"});
  EXPECT_TRUE(r.out.starts_with(banner() + "Option -recover found\n" + reading_lines("-copy", 10) +
                                reading_lines("a.jpg", 4)))
      << r.out;
  EXPECT_NE(r.out.find(reading_lines("b.jpg", 4)), std::string::npos);
  EXPECT_NE(r.out.find("reading file --:\n"), std::string::npos);
  EXPECT_NE(r.out.find("reading file -h:\n"), std::string::npos);
  EXPECT_EQ(r.out.find("Command -copy"), std::string::npos);
  EXPECT_EQ(dir.read("b.jpg"), soi_eoi);
  EXPECT_EQ(r.status, 2) << "there are no files named -- and -h";
}

TEST(CommandLine, ArgumentsAreActedOnLeftToRightUntilAnUnknownOption) {
  RunResult r = run_with_files({{"x.jpg", soi_eoi}, {"y.jpg", soi_eoi}},
                               {"x.jpg", "-bogus", "y.jpg"});
  EXPECT_TRUE(r.out.starts_with(banner() + reading_lines("x.jpg", 4))) << r.out;
  EXPECT_EQ(r.out.find("y.jpg"), std::string::npos);
  EXPECT_TRUE(r.err.ends_with("Unknown option -bogus\n" + usage_text())) << r.err;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(run_with_files({}, {"missing.jpg", "-bogus"}).status, 1) << "usage after a failure";
}

TEST(CommandLine, CommandArgumentsAreTakenAsTheyStand) {
  RunResult copy = run_with_files({{"more.jpg", soi_eoi}}, {"-Copy", "-s", "-d", "more.jpg"});
  EXPECT_TRUE(copy.out.starts_with(banner() + "Command -copy found (source '-s', dest '-d')\n"))
      << copy.out;
  EXPECT_NE(copy.out.find(reading_lines("more.jpg", 4)), std::string::npos);
  EXPECT_EQ(copy.status, 2) << "there is no source named -s";
}

TEST(CommandLine, RecoverAppliesOnlyToFilesOnItsRight) {
  RunResult r = run_with_files({{"a.jpg", soi_eoi}, {"b.img", soi_eoi}},
                               {"a.jpg", "-recover", "b.img"});
  const std::size_t a = r.out.find(reading_lines("a.jpg", 4));
  const std::size_t option = r.out.find("Option -recover found\n");
  const std::size_t b = r.out.find(reading_lines("b.img", 4));
  ASSERT_NE(b, std::string::npos);
  EXPECT_LT(a, option);
  EXPECT_LT(option, b);
  EXPECT_NE(r.out.find("found SOI-Marker at offset", b), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("found SOI-Marker at offset"), r.out.find("found SOI-Marker at offset", b));
}

}  // namespace
}  // namespace segsniff::test
