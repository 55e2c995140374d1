// The output channels.  This module owns standard output and standard error;
// nothing else in the program writes to the console.  The decoders say what
// they find through a printer (printer.h); the text printer and the shell's
// own lines (banner, usage, option announcements) write here.
//
//   out_stream / out_printf   standard output: one buffer, program order kept
//                             even within a line
//   err_stream / err_printf   standard error: written at once, standard output
//                             flushed first so that 2>&1 keeps program order
//
// Tests and fuzzers rebind the byte writer (set_channel_writer) to a capture
// buffer or a null writer.
#pragma once

#include <concepts>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "shell/channel.h"

namespace segsniff {

// Receives every byte the program prints.  The default writes to the
// standard streams.  A failed write to standard output is reported once on
// standard error ("writing standard output failed" and the system's error)
// and the rest of standard output is dropped; when the reader of a pipe has
// gone away, the run ends there with the failure status.  Write errors on
// standard error cannot be reported and are ignored.
using ChannelWriter = void (*)(Channel, const char* data, std::size_t size);
void set_channel_writer(ChannelWriter writer);

// Looks at file descriptors 1 and 2 and picks the cheapest way to keep the
// program's order of standard output and standard error (see channels.cpp).
// Called once by main; a writer installed later goes back to writing each
// error message at once.
void configure_console();
void reset_channel_writer();

int out_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same for either channel, with the arguments taken over from a
// caller's own variadic function (a printer's finding).
int channel_printf(Channel channel, const char* format, std::va_list args)
    __attribute__((format(printf, 2, 0)));
int err_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes buffered standard output.  Called before anything goes to standard
// error and at the end of the run.
void flush_output();

// Whether a write to standard output has failed during the run.
bool output_failed();

// A status line at the foot of a terminal's standard error (the carving
// progress): drawn over itself with a carriage return, never wrapped by the
// caller's choice of length.  Other text for standard error erases it
// first; show_status_line draws it again.
void show_status_line(std::string_view text);
void clear_status_line();

// Ends a line of standard output that was cut off in the middle (an input
// that could no longer be read): writes a line feed unless standard output
// stands at the start of a line.
void end_output_line();

// Drops buffered standard output without writing it (used after a fault in
// the middle of a line has been reported by the caller).
void discard_output();

// Text that comes from outside the program -- bytes of the input shown as
// characters (APP magic, camera model, ascii values) and names from the
// command line -- is shown through one filter on every output.  A control
// byte would be obeyed by a terminal, at once or when a saved dump is
// displayed later, and one NUL makes text tools take a whole dump for
// binary data.  So C0 controls (00-1F), DEL (7F) and C1 controls (80-9F)
// show as '.'.  A C1 control also has a two-byte UTF-8 form, C2 followed by
// 80-9F; there the C2 shows as '.' too, so the pair prints as two dots.
// Every other byte is itself: one character per byte, so a shown text
// keeps its length.
inline bool is_control_byte(std::uint8_t byte) {
  return byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F);
}
constexpr int no_next_byte = -1;
// `next` is the byte that follows in the same text, or no_next_byte.
inline char display_char(std::uint8_t byte, int next) {
  if (is_control_byte(byte)) return '.';
  if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) return '.';
  return static_cast<char>(byte);
}

// A text to be shown through the filter: `out_stream << shown(name)`.
struct ShownText {
  std::string_view text;
};
inline ShownText shown(std::string_view text) { return {text}; }

// The filtered text, for the printf-style channels ("%s").
std::string shown_string(std::string_view text);

// Stream-style insertion.  Integers print in plain decimal in their own type;
// the stream has no formatting state to change.
class OutputStream {
 public:
  explicit OutputStream(Channel channel) : channel_(channel) {}
  OutputStream& operator<<(std::string_view text);
  OutputStream& operator<<(const char* text) { return *this << std::string_view(text); }
  OutputStream& operator<<(char c) { return *this << std::string_view(&c, 1); }
  OutputStream& operator<<(ShownText text);
  template <std::integral T>
    requires(!std::same_as<T, char> && !std::same_as<T, bool>)
  OutputStream& operator<<(T value) {
    if constexpr (std::is_signed_v<T>) return insert_signed(static_cast<long long>(value));
    else return insert_unsigned(static_cast<unsigned long long>(value));
  }

 private:
  OutputStream& insert_signed(long long value);
  OutputStream& insert_unsigned(unsigned long long value);
  Channel channel_;
};

extern OutputStream out_stream;
extern OutputStream err_stream;

}  // namespace segsniff
