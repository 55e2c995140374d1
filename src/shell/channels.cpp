#include "shell/channels.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/console.h"
#include "shell/error_report.h"
#include "shell/exit_status.h"
#include "shell/format_text.h"

namespace segsniff {

namespace {

using platform::StandardStream;

// Set once a write to standard output has failed.  The failure is reported
// once; the rest of standard output is dropped rather than tried again.
bool output_broken = false;

void report_output_failure(int error);

// Write errors on standard error itself cannot be reported anywhere.
void default_writer(Channel channel, const char* data, std::size_t size) {
  if (channel == Channel::err) {
    platform::write_all(StandardStream::error, data, size);
    return;
  }
  if (output_broken) return;
  if (int error = platform::write_all(StandardStream::output, data, size)) {
    output_broken = true;
    report_output_failure(error);
  }
}

ChannelWriter current_writer = default_writer;

// How standard error reaches its file.  By default (and with any writer a
// test installs) each message is written at once, after standard output has
// been flushed, so that both keep program order wherever they go.  When the
// console is known (configure_console), two cheaper ways keep the same
// order: both streams going to the same file share one buffer, and standard
// error going to a file or pipe of its own is buffered by itself, where its
// order against standard output cannot be seen.
enum class ErrorRoute { direct, shared, separate };
ErrorRoute error_route = ErrorRoute::direct;
bool out_line_flush = false;  // standard output is a terminal: flush each line

// Standard output is collected here and written in large pieces: a carving
// run prints several lines per candidate and must not pay a system call for
// each of them.
constexpr std::size_t out_buffer_size = 1 << 16;
char out_buffer[out_buffer_size];
std::size_t out_used = 0;
bool out_at_line_start = true;  // the last byte of standard output was a line feed

constexpr std::size_t err_buffer_size = 1 << 14;
char err_buffer[err_buffer_size];
std::size_t err_used = 0;

void flush_out_buffer() {
  if (out_used == 0) return;
  std::size_t size = out_used;
  out_used = 0;
  current_writer(Channel::out, out_buffer, size);
}

void flush_err_buffer() {
  if (err_used == 0) return;
  std::size_t size = err_used;
  err_used = 0;
  current_writer(Channel::err, err_buffer, size);
}

// Appends to a buffer, writing it out first when the bytes do not fit;
// pieces larger than the buffer go straight through.
void buffered_write(Channel channel, char* buffer, std::size_t capacity, std::size_t& used,
                    void (*flush)(), const char* data, std::size_t size) {
  if (size > capacity - used) {
    flush();
    if (size >= capacity) {
      current_writer(channel, data, size);
      return;
    }
  }
  for (std::size_t i = 0; i < size; ++i) buffer[used + i] = data[i];
  used += size;
}

void out_write(const char* data, std::size_t size) {
  if (size == 0) return;
  buffered_write(Channel::out, out_buffer, out_buffer_size, out_used, flush_out_buffer, data,
                 size);
  out_at_line_start = data[size - 1] == '\n';
  if (out_line_flush && out_at_line_start) flush_out_buffer();
}

void err_route_write(const char* data, std::size_t size) {
  switch (error_route) {
    case ErrorRoute::shared:  // same file: one buffer, program order
      buffered_write(Channel::out, out_buffer, out_buffer_size, out_used, flush_out_buffer, data,
                     size);
      return;
    case ErrorRoute::separate:
      buffered_write(Channel::err, err_buffer, err_buffer_size, err_used, flush_err_buffer, data,
                     size);
      return;
    case ErrorRoute::direct:
      flush_out_buffer();
      current_writer(Channel::err, data, size);
      return;
  }
}

// How many columns of the terminal's last line the status line (carving
// progress on a terminal) covers now; 0 when it is not shown.  It is drawn
// and erased with a carriage return and blanks only, which every terminal
// obeys, and never holds a line feed.
std::size_t status_shown = 0;

void draw_status(std::string_view text) {
  std::string line = "\r";
  line += text;
  if (text.size() < status_shown) line.append(status_shown - text.size(), ' ');
  if (text.empty()) line += '\r';
  err_route_write(line.data(), line.size());
  status_shown = text.size();
}

// Other text for standard error erases the status line first; its owner
// draws it again at its next turn.  (Drawing it again after every message
// would multiply the bytes a terminal has to show when walks complain a lot.)
void err_write(const char* data, std::size_t size) {
  if (size == 0) return;
  if (status_shown > 0) draw_status("");
  err_route_write(data, size);
}

void channel_write(Channel channel, const char* data, std::size_t size) {
  if (channel == Channel::out) out_write(data, size);
  else err_write(data, size);
}

// The buffer a channel's text is appended to as it stands (no status line
// to erase first), or nullptr when it takes another way.
struct Target {
  char* buffer;
  std::size_t capacity;
  std::size_t* used;
};
bool buffered_target(Channel channel, Target& target) {
  if (channel == Channel::out || (error_route == ErrorRoute::shared && status_shown == 0)) {
    target = {out_buffer, out_buffer_size, &out_used};
    return true;
  }
  if (error_route == ErrorRoute::separate && status_shown == 0) {
    target = {err_buffer, err_buffer_size, &err_used};
    return true;
  }
  return false;
}

// A line is formatted straight into the buffer it goes to when that has
// room for it, and otherwise as a piece of its own.
constexpr std::size_t direct_room = 256;

__attribute__((format(printf, 2, 0)))
int channel_vprintf(Channel channel, const char* format, va_list args) {
  Target target;
  if (buffered_target(channel, target) && target.capacity - *target.used >= direct_room) {
    char* start = target.buffer + *target.used;
    const std::size_t room = target.capacity - *target.used;
    va_list copy;
    va_copy(copy, args);
    const int n = format_text(start, room, format, copy);
    va_end(copy);
    if (n < 0) return n;
    if (static_cast<std::size_t>(n) < room) {
      if (n == 0) return n;
      *target.used += static_cast<std::size_t>(n);
      if (channel == Channel::out) {
        out_at_line_start = start[n - 1] == '\n';
        if (out_line_flush && out_at_line_start) flush_out_buffer();
      }
      return n;
    }
  }
  char local[512];
  va_list copy;
  va_copy(copy, args);
  int n = format_text(local, sizeof local, format, copy);
  va_end(copy);
  if (n < 0) return n;
  if (static_cast<std::size_t>(n) < sizeof local) {
    channel_write(channel, local, static_cast<std::size_t>(n));
    return n;
  }
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  format_text(big.data(), big.size(), format, args);
  channel_write(channel, big.data(), static_cast<std::size_t>(n));
  return n;
}

void report_output_failure(int error) {
  err_stream << "writing standard output failed\n";
  report_last_error(error);
  if (platform::is_closed_pipe(error)) {
    // Nobody reads any more: end the run now.  Every carved file is closed
    // by then (the listing is written only between files).
    clear_status_line();
    flush_output();
    std::exit(exit_status_failed);
  }
}

}  // namespace

void show_status_line(std::string_view text) { draw_status(text); }

void clear_status_line() {
  if (status_shown > 0) draw_status("");
}

bool output_failed() { return output_broken; }

void set_channel_writer(ChannelWriter writer) {
  flush_output();
  current_writer = writer;
  error_route = ErrorRoute::direct;
  out_line_flush = false;
}

void configure_console() {
  flush_output();
  out_line_flush = platform::is_terminal(StandardStream::output);
  // When the system cannot tell whether the two are one file, each error
  // message is written at once: the order is kept either way.
  const platform::Sameness sameness =
      platform::same_destination(StandardStream::output, StandardStream::error);
  if (platform::is_terminal(StandardStream::error)) error_route = ErrorRoute::direct;
  else if (sameness == platform::Sameness::same) error_route = ErrorRoute::shared;
  else if (sameness == platform::Sameness::different) error_route = ErrorRoute::separate;
  else error_route = ErrorRoute::direct;
}
void reset_channel_writer() { set_channel_writer(default_writer); }

void flush_output() {
  flush_out_buffer();
  flush_err_buffer();
}

void discard_output() { out_used = 0; }

void end_output_line() {
  if (!out_at_line_start) out_write("\n", 1);
}

std::string shown_string(std::string_view text) {
  std::string filtered(text.size(), '.');
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int next = i + 1 < text.size() ? static_cast<std::uint8_t>(text[i + 1]) : no_next_byte;
    filtered[i] = display_char(static_cast<std::uint8_t>(text[i]), next);
  }
  return filtered;
}

int channel_printf(Channel channel, const char* format, std::va_list args) {
  return channel_vprintf(channel, format, args);
}

int out_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = channel_vprintf(Channel::out, format, args);
  va_end(args);
  return n;
}

int err_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = channel_vprintf(Channel::err, format, args);
  va_end(args);
  return n;
}

OutputStream& OutputStream::operator<<(std::string_view text) {
  channel_write(channel_, text.data(), text.size());
  return *this;
}

OutputStream& OutputStream::operator<<(ShownText text) {
  const std::string filtered = shown_string(text.text);
  channel_write(channel_, filtered.data(), filtered.size());
  return *this;
}

OutputStream& OutputStream::insert_signed(long long value) {
  char text[32];
  const char* end = std::to_chars(text, text + sizeof text, value).ptr;
  channel_write(channel_, text, static_cast<std::size_t>(end - text));
  return *this;
}

OutputStream& OutputStream::insert_unsigned(unsigned long long value) {
  char text[32];
  const char* end = std::to_chars(text, text + sizeof text, value).ptr;
  channel_write(channel_, text, static_cast<std::size_t>(end - text));
  return *this;
}

OutputStream out_stream{Channel::out};
OutputStream err_stream{Channel::err};

}  // namespace segsniff
