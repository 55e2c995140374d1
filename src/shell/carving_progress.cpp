#include "shell/carving_progress.h"

#include <cstdio>

#include "platform/console.h"
#include "shell/channels.h"

namespace segsniff {

namespace {

constexpr auto redraw_interval = std::chrono::milliseconds(250);  // four times a second
constexpr unsigned mebibyte_shift = 20;

// "m:ss", or "h:mm:ss" from an hour on.
std::string clock_text(std::uint64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%llu:%02u:%02u",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
                  static_cast<unsigned>(seconds % 60));
  return text;
}

}  // namespace

bool CarvingProgress::wanted() {
  using platform::StandardStream;
  return platform::is_terminal(StandardStream::error) &&
         platform::same_destination(StandardStream::output, StandardStream::error) ==
             platform::Sameness::different;
}

void CarvingProgress::start(const char* name, std::uint64_t size) {
  name_ = shown_string(name);
  size_ = size;
  started_ = Clock::now();
  draw(0, CarvingTally{});
}

// "carving '<name>': <p>% at <r> MB/s, <m:ss> left, <n> files written",
// the rate and time left once a part of the input lies behind.  Cut to the
// terminal's width, so that the carriage return finds the line's start.
void CarvingProgress::draw(std::uint64_t position, const CarvingTally& tally) {
  const Clock::time_point now = Clock::now();
  next_draw_ = now + redraw_interval;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const double done =
      size_ == 0 ? 1.0 : static_cast<double>(position) / static_cast<double>(size_);

  std::string line =
      "carving '" + name_ + "': " + std::to_string(static_cast<int>(done * 100)) + "%";
  if (position > 0 && seconds > 0) {
    const double bytes_per_second = static_cast<double>(position) / seconds;
    const double seconds_left = static_cast<double>(size_ - position) / bytes_per_second;
    const auto megabytes_per_second =
        static_cast<std::uint64_t>(bytes_per_second) >> mebibyte_shift;
    line += " at " + std::to_string(megabytes_per_second) + " MB/s, " +
            clock_text(static_cast<std::uint64_t>(seconds_left)) + " left";
  }
  line += ", " + std::to_string(tally.files) + " files written";

  const unsigned columns = platform::terminal_columns(platform::StandardStream::error);
  if (columns > 1 && line.size() > columns - 1) line.resize(columns - 1);
  show_status_line(line);
}

void CarvingProgress::finish() { clear_status_line(); }

}  // namespace segsniff
