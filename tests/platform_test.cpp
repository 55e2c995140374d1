// The platform layer's own rules, as tables: option words matched without
// regard to case, the system error report, the spool file, and on Windows
// the names that open devices and the identity of open files.
#include <gtest/gtest.h>

#include <string>

#include "platform/equal_ignoring_case.h"
#include "platform/spool_file.h"
#include "shell/error_report.h"
#include "support/golden.h"
#ifdef _WIN32
#include "platform/win32/win32_handles.h"
#endif

namespace segsniff::test {
namespace {

// Only A to Z have a case; no locale makes another byte match.
TEST(EqualIgnoringCase, LettersAToZOnly) {
  struct Case {
    const char *a, *b;
    bool equal;
  };
  const Case cases[] = {
      {"-recover", "-RECOVER", true}, {"-Copy", "-copy", true},       {"", "", true},
      {"-rec", "-recover", false},    {"-recover", "-rec", false},    {"-copy", "--copy", false},
      {"@", "`", false},              {"[", "{", false},              {"\xC4", "\xE4", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(platform::equal_ignoring_case(c.a, c.b), c.equal) << c.a << " vs " << c.b;
}

#ifdef _WIN32
// The text goes in as FormatMessageA gives it, its CR LF included; a code
// without a text leaves nothing between the quotes (the texts are wine's).
TEST(ReportLastError, SystemTextAsDeliveredAndNothingForAnUnknownCode) {
  CapturedOutput output;
  report_last_error(2);
  report_last_error(999999);
  EXPECT_TRUE(same_text(output.err(), "Last Error = 2 ('File not found.\r\n')\n"
                                      "Last Error = 999999 ('')\n"));
}

TEST(DevicePath, NamesThatOpenADeviceRatherThanAFile) {
  struct Case {
    const char* name;
    bool device;
  };
  const Case cases[] = {
      {"\\\\.\\E:", true},
      {"\\\\.\\PhysicalDrive2", true},
      {"\\\\?\\Volume{4c1b02c1-d990-11dc-99ae-806e6f6e6963}", true},
      {"//./e:", true},
      {"\\\\?\\GLOBALROOT\\Device\\Harddisk1\\Partition0", true},
      {"\\\\.\\NUL", true},  // a device, though no disk (the copy tells them apart)
      {"\\\\?\\C:\\photos\\card.img", false},
      {"\\\\.\\pipe\\reader", false},
      {"\\\\server\\share\\card.img", false},
      {"\\\\.\\", false},
      {"E:", false},
      {"card.img", false},
      {"NUL", false},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::win32::is_device_path(c.name), c.device) << c.name;
}

// The index alone decides that two files differ; that they are one needs
// the volume as well.
TEST(FileIdentity, SameOnlyWhenIndexAndVolumeAgree) {
  using platform::Sameness;
  using platform::win32::FileIdentity;
  struct Case {
    FileIdentity a, b;
    Sameness want;
  };
  const Case cases[] = {
      {{7, 1, true}, {7, 1, true}, Sameness::same},
      {{7, 1, true}, {7, 2, true}, Sameness::different},
      {{7, 1, true}, {8, 1, true}, Sameness::different},
      {{7, 0, false}, {7, 1, true}, Sameness::unknown},
      {{7, 0, false}, {8, 0, false}, Sameness::different},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::win32::same_identity(c.a, c.b), c.want);
}
#else
TEST(ReportLastError, SystemTextOfTheErrorNumber) {
  CapturedOutput output;
  report_last_error(2);
  EXPECT_TRUE(same_text(output.err(), "Last Error = 2 ('No such file or directory')\n"));
}
#endif

std::span<const std::uint8_t> bytes_of(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// What goes into the spool comes back in order, however it is read; no name
// of it is left in its folder once it is closed, and a folder that is not
// there is a failure.
TEST(SpoolFile, GivesBackWhatWasAppendedAndLeavesNothingBehind) {
  ScratchDir dir;
  dir.write("report.xml", "");
  std::string written;
  {
    platform::SpoolFile spool;
    ASSERT_EQ(spool.create_beside(dir.file("report.xml").c_str()), 0);
    for (int i = 0; i < 300; ++i) {
      const std::string piece = std::string(static_cast<std::size_t>(i % 17 + 1), static_cast<char>(i));
      ASSERT_EQ(spool.append(bytes_of(piece)), 0);
      written += piece;
    }
    ASSERT_EQ(spool.rewind(), 0);
    std::string back;
    std::uint8_t buffer[100];
    for (std::size_t count = 1; count != 0;) {
      ASSERT_EQ(spool.read(buffer, count), 0);
      back.append(reinterpret_cast<const char*>(buffer), count);
    }
    EXPECT_EQ(back, written);
  }
  EXPECT_EQ(dir.list(), std::vector<std::string>{"report.xml"});
  platform::SpoolFile nowhere;
  EXPECT_NE(nowhere.create_beside(dir.file("no-such-folder/report.xml").c_str()), 0);
}

}  // namespace
}  // namespace segsniff::test
