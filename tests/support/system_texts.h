// The system's words for the failures the tests provoke, as
// report_last_error prints them: "Last Error = <code> ('<text>')\n".
//
// On Windows the tests run under wine, and these are wine's texts, which
// are shorter than Windows' own ("File not found." where Windows says "The
// system cannot find the file specified.").  FormatMessageA ends each text
// with CR LF, which standard error in text mode writes as CR CR LF; the
// golden runner takes out the CR of each line end, so one CR LF stays:
// "')" starts the next line.
#pragma once

#include <string>

namespace segsniff::test {

#ifdef _WIN32
inline std::string last_error(int code, const std::string& text) {
  return "Last Error = " + std::to_string(code) + " ('" + text + "\r\n')\n";
}
inline const std::string file_not_found = last_error(2, "File not found.");
inline const std::string path_not_found = last_error(3, "Path not found.");
inline const std::string cannot_map_empty_file = last_error(1006, "File invalid.");
inline const std::string folder_opened_as_file = last_error(5, "Access denied.");
inline const std::string folder_name_taken_by_file = last_error(183, "File already exists.");
inline const std::string closed_pipe = last_error(232, "Pipe closed.");
#else
inline std::string last_error(int code, const std::string& text) {
  return "Last Error = " + std::to_string(code) + " ('" + text + "')\n";
}
inline const std::string file_not_found = last_error(2, "No such file or directory");
inline const std::string path_not_found = last_error(2, "No such file or directory");
inline const std::string cannot_map_empty_file = last_error(22, "Invalid argument");
inline const std::string folder_opened_as_file = last_error(21, "Is a directory");
inline const std::string folder_name_taken_by_file = last_error(20, "Not a directory");
inline const std::string closed_pipe = last_error(32, "Broken pipe");
#endif

}  // namespace segsniff::test
