// The argument loop: banner, usage, options, left-to-right dispatch.
#include <gtest/gtest.h>

#include "support/golden.h"

namespace segsniff::test {
namespace {

const std::string soi_eoi = Bytes{0xFF, 0xD8, 0xFF, 0xD9}.str();

std::string dump_of(const std::string& name, std::size_t size) {
  // File lines only; the marker walk's lines follow them.
  return "reading file " + name + ":\nFilelen " + std::to_string(size) + " Bytes\nfile size " +
         std::to_string(size) + " bytes\n";
}

TEST(CommandLine, NoArgumentsPrintsBannerAndUsage) {
  RunResult r = run_with_files({}, {});
  EXPECT_TRUE(same_text(r.out, banner()));
  EXPECT_TRUE(same_text(r.err, usage_text()));
  EXPECT_EQ(r.status, 1);
}

TEST(CommandLine, OptionWordsMatchWholeAndWithoutCase) {
  for (const char* word : {"-recover", "-RECOVER", "-Recover"}) {
    RunResult r = run_with_files({}, {word});
    EXPECT_TRUE(same_text(r.out, banner() + "Option -recover found\n")) << word;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
  }
  for (const char* word : {"-rec", "-recovery", "--copy", "-", "-infox"}) {
    RunResult r = run_with_files({}, {word, "never.jpg"});
    EXPECT_TRUE(same_text(r.out, banner())) << word;
    EXPECT_TRUE(same_text(r.err, std::string("Unknown option ") + word + "\n" + usage_text()));
    EXPECT_EQ(r.status, 1);
  }
}

TEST(CommandLine, ArgumentsAreActedOnLeftToRightUntilAnUnknownOption) {
  RunResult r = run_with_files({{"x.jpg", soi_eoi}, {"y.jpg", soi_eoi}},
                               {"x.jpg", "-bogus", "y.jpg"});
  EXPECT_EQ(r.out.rfind(banner() + dump_of("x.jpg", 4), 0), 0u) << r.out;
  EXPECT_EQ(r.out.find("y.jpg"), std::string::npos);
  EXPECT_TRUE(same_text(r.err.substr(r.err.find("Unknown option")),
                        "Unknown option -bogus\n" + usage_text()));
  EXPECT_EQ(r.status, 1);
}

TEST(CommandLine, MissingOptionArgumentsPrintUsageAlone) {
  for (std::vector<std::string> args : {std::vector<std::string>{"-copy"},
                                        {"-copy", "src"},
                                        {"-INFO"}}) {
    RunResult r = run_with_files({}, args);
    EXPECT_TRUE(same_text(r.out, banner()));
    EXPECT_TRUE(same_text(r.err, usage_text()));
    EXPECT_EQ(r.status, 1);
  }
}

TEST(CommandLine, CommandArgumentsAreTakenAsTheyStand) {
  RunResult info = run_with_files({}, {"-info", "-x"});
  EXPECT_EQ(info.out.rfind(banner() + "Command -info found (source '-x')\n", 0), 0u) << info.out;
  EXPECT_EQ(info.status, 0);

  RunResult copy = run_with_files({{"more.jpg", soi_eoi}}, {"-Copy", "-s", "-d", "more.jpg"});
  EXPECT_EQ(copy.out.find("Command -copy found (source '-s', dest '-d')\n"), banner().size())
      << copy.out;
  EXPECT_NE(copy.out.find(dump_of("more.jpg", 4)), std::string::npos);
  EXPECT_EQ(copy.status, 0);
}

TEST(CommandLine, RecoverAppliesOnlyToFilesOnItsRight) {
  ScratchDir dir;
  dir.write("a.jpg", soi_eoi);
  dir.write("b.img", soi_eoi);
  RunResult r = run_segsniff(dir, {"a.jpg", "-recover", "-recover", "b.img"});
  std::size_t a = r.out.find(dump_of("a.jpg", 4));
  std::size_t opt = r.out.find("Option -recover found\nOption -recover found\n");
  std::size_t b = r.out.find(dump_of("b.img", 4));
  ASSERT_NE(a, std::string::npos);
  ASSERT_NE(opt, std::string::npos);
  ASSERT_NE(b, std::string::npos);
  EXPECT_LT(a, opt);
  EXPECT_LT(opt, b);
  EXPECT_EQ(r.status, 0);
}

TEST(CommandLine, EveryFileFailingStillEndsWithStatusZero) {
  RunResult r = run_with_files({}, {"missing.jpg", ""});
  EXPECT_TRUE(same_text(r.out, banner() + "reading file missing.jpg:\nreading file :\n"));
  EXPECT_TRUE(same_text(r.err,
                        "Open file 'missing.jpg' for reading failed\n"
                        "Last Error = 2 ('No such file or directory')\n"
                        "Open file '' for reading failed\n"
                        "Last Error = 2 ('No such file or directory')\n"));
  EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace segsniff::test
