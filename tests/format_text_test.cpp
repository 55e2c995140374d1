// format_text must print exactly what the C library's vsnprintf prints --
// same characters, same count, same truncation -- for every format: the
// conversions it does itself and those it hands over.  Each row is run at
// several buffer sizes against vsnprintf with the same arguments.
#include <gtest/gtest.h>

#include <climits>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <type_traits>

#include "shell/channels.h"
#include "shell/format_text.h"
#include "support/golden.h"

namespace segsniff::test {
namespace {

constexpr std::size_t buffer_sizes[] = {0, 1, 2, 7, 64, 600};

// mingw-w64 checks formats against its own C99 printf (gnu_printf) when it
// is the one in use, as here; "printf" would mean the system's msvcrt.
#ifdef __MINGW_PRINTF_FORMAT
#define SEGSNIFF_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define SEGSNIFF_PRINTF_FORMAT printf
#endif
void expect_as_c_library(const char* format, ...) __attribute__((format(SEGSNIFF_PRINTF_FORMAT, 1, 2)));
void expect_as_c_library(const char* format, ...) {
  for (std::size_t size : buffer_sizes) {
    char have[640], want[640];
    std::memset(have, '#', sizeof have);
    std::memset(want, '#', sizeof want);
    va_list args;
    va_start(args, format);
    const int have_n = format_text(size == 0 ? nullptr : have, size, format, args);
    va_end(args);
    va_start(args, format);
    const int want_n = std::vsnprintf(size == 0 ? nullptr : want, size, format, args);
    va_end(args);
    EXPECT_EQ(have_n, want_n) << "format \"" << format << "\", buffer of " << size;
    // The whole buffer: nothing may be written past the size either.
    EXPECT_EQ(std::string(have, sizeof have), std::string(want, sizeof want))
        << "format \"" << format << "\", buffer of " << size;
  }
}

TEST(FormatText, IntegersAsTheCLibraryPrintsThem) {
  expect_as_c_library("%d %i %u", 0, -1, 0U);
  expect_as_c_library("%d|%d", INT_MIN, INT_MAX);
  expect_as_c_library("%u %x %X", UINT_MAX, UINT_MAX, 0xABCDEFU);
  expect_as_c_library("[%5d][%-5d][%05d][%0d][%1d]", -42, -42, -42, 7, 12345);
  // Formats the compiler warns about, but which a printf must still print
  // as the C library does: '-' wins over '0'; an empty format.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-zero-length"
  expect_as_c_library("[%-05d][%0-5X]", -42, 0xAU);
  expect_as_c_library("");
#pragma GCC diagnostic pop
  expect_as_c_library("[%08X][%04x][%2X][%-6x]", 0x1FU, 0xBEEFU, 0x12345U, 0xAU);
  expect_as_c_library("%hhd %hhu %hhx", 300, 300, -1);
  expect_as_c_library("%hd %hu %hX", 70000, 70000, -2);
  expect_as_c_library("%ld %lu %lx", LONG_MIN, ULONG_MAX, ULONG_MAX);
  expect_as_c_library("%lld %llu %llX", LLONG_MIN, ULLONG_MAX, 0x8000000000000000ULL);
  expect_as_c_library("%jd %ju %zu %zd %td", INTMAX_MIN, UINTMAX_MAX, SIZE_MAX,
                      static_cast<std::make_signed_t<std::size_t>>(-5),
                      static_cast<std::ptrdiff_t>(-6));
  expect_as_c_library("%08" PRIX64 " %" PRIu64 " %" PRId64 " %" PRIX32 " %" PRId32,
                      UINT64_C(0x123456789A), UINT64_MAX, INT64_MIN, UINT32_C(0xDEADBEEF),
                      INT32_MIN);
  expect_as_c_library("%4096d|", 1);  // the widest field done here
  expect_as_c_library("%4097d|", 1);  // and one wider, handed over
}

TEST(FormatText, TextCharactersAndPercent) {
  const char* volatile none = nullptr;
  expect_as_c_library("plain text, no conversion");
  expect_as_c_library("100%% and %%%d%%", 5);
  expect_as_c_library("'%s' '%s'", "", "Canon EOS 40D");
  expect_as_c_library("[%10s][%-10s][%2s]", "abc", "abc", "longer than its width");
  expect_as_c_library("[%c][%3c][%-3c]", 'A', 'b', 'c');
  expect_as_c_library("%s", none);
  expect_as_c_library("%s", std::string(700, 'x').c_str());  // longer than any buffer here
}

TEST(FormatText, FormatsItLeavesToTheCLibrary) {
  expect_as_c_library("%.3s|%.0s|", "abcdef", "gone");
  expect_as_c_library("%+d % d %#x %#o %o", 5, 5, 255U, 8U, 8U);
  expect_as_c_library("%*d|%-*d|%.*d", 6, 42, 6, 42, 4, 7);
  expect_as_c_library("%5.2f %e %g", 3.14159, 1e-9, 0.5);
  expect_as_c_library("%d then %5.1f then %s", 1, 2.25, "three");
  expect_as_c_library("%lc|%o", static_cast<wint_t>('z'), 0777U);
}

TEST(FormatText, ListingLines) {
  expect_as_c_library("      tag %04X, %d %s, off %08X, val ", 0x010FU, 6, "ascii", 0x92U);
  expect_as_c_library("Marker %04X at file offset %08" PRIX64 ": ", 0xFFD8U, UINT64_C(0));
  expect_as_c_library("illegal data_type %u\n", 12848U);
  expect_as_c_library(" 0x%08" PRIX32 " (%" PRId32 ")", UINT32_C(0xFFFFFFFF), INT32_C(-1));
}

// Lines formatted straight into standard output's buffer, lines that do
// not fit what is left of it, and lines longer than the local buffer all
// come out whole and in order.
TEST(FormatText, ChannelLinesAcrossBufferBoundaries) {
  CapturedOutput captured;
  std::string want;
  const std::string chunk(997, 'c');
  for (int i = 0; i < 200; ++i) {
    out_printf("%d:%s\n", i, chunk.c_str());
    want += std::to_string(i) + ":" + chunk + "\n";
  }
  const std::string long_line(70000, 'L');
  out_printf("[%s]\n", long_line.c_str());
  want += "[" + long_line + "]\n";
  out_printf("%s", "");
  out_printf("end %u\n", 1U);
  want += "end 1\n";
  flush_output();
  EXPECT_EQ(captured.out(), want);
}

}  // namespace
}  // namespace segsniff::test
