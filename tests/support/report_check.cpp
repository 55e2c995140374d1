#include "support/report_check.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/sha256.h"
#include "shell/carving_report.h"
#include "shell/dfxml_writer.h"
#include "shell/xml_text.h"
#include "support/golden.h"

namespace segsniff::test {

namespace {

std::string schema_path() { return std::string(SEGSNIFF_SOURCE_DIR) + "/../shared/dfxml/dfxml.xsd"; }

std::string library_line(const std::pair<std::string, std::string>& library) {
  return "    <library name=\"" + library.first + "\" version=\"" + library.second + "\"/>\n";
}

}  // namespace

std::string sha256_hex(std::string_view bytes) {
  platform::Sha256 sha;
  sha.add({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
  const platform::Sha256Digest digest = sha.finish();
  return hex_text({reinterpret_cast<const char*>(digest.data()), digest.size()});
}

std::string report_head(const std::string& arguments) {
  std::string head =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<dfxml xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\" "
      "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
      "xmlns:segsniff=\"urn:segsniff:carving-report:1\" version=\"2.0.0-beta.0\">\n"
      "  <metadata>\n"
      "    <dc:type>Carving report</dc:type>\n"
      "  </metadata>\n"
      "  <creator>\n"
      "    <program>segsniff</program>\n"
      "    <version>1.18</version>\n"
      "    <execution_environment>\n"
      "      <command_line>" SEGSNIFF_BINARY " " + arguments + "</command_line>\n"
      "    </execution_environment>\n";
  head += library_line(dfxml_writer_library());
  head += library_line(platform::sha256_library());
  if (decode_check_available()) head += library_line(decode_check_library());
  return head + "  </creator>\n";
}

std::string decode_line(const DecodeCheck& check) {
  static const char* const results[] = {"clean", "warnings", "not_decodable", "not_available"};
  const std::string start =
      std::string("    <segsniff:decode result=\"") + results[static_cast<int>(check.kind)] + "\"";
  if (check.message.empty()) return start + "/>\n";
  return start + ">" + check.message + "</segsniff:decode>\n";
}

std::string lines_holding(const std::string& text, std::string_view piece) {
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line))
    if (line.find(piece) != std::string::npos) kept += line + "\n";
  return kept;
}

std::string report_unavailable() {
  if (carving_report_available()) return {};
#ifdef _WIN32
  return "segsniff.exe is built without the carving report (no Windows build of libxml2 or libcrypto)";
#else
  return "built without the carving report (libxml2 or libcrypto not found)";
#endif
}

#ifdef _WIN32
std::string schema_check_unavailable() {
  return "reports are checked against " + schema_path() + " by xmllint on Linux only";
}

::testing::AssertionResult valid_dfxml(const std::string& path) {
  return ::testing::AssertionFailure() << path << " not checked: no xmllint here";
}
#else
std::string schema_check_unavailable() {
  if (first_line_of("command -v xmllint").empty())
    return "xmllint is not installed (Debian: libxml2-utils); reports not checked against the schema";
  if (!std::filesystem::exists(schema_path()))
    return "no DFXML schema at " + schema_path() + "; reports not checked against it";
  return {};
}

::testing::AssertionResult valid_dfxml(const std::string& path) {
  const std::string command = "xmllint --noout --schema '" + schema_path() + "' '" + path + "' 2>&1";
  std::string said;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return ::testing::AssertionFailure() << "cannot run: " << command;
  char text[512];
  while (std::fgets(text, sizeof text, pipe) != nullptr) said += text;
  const int status = ::pclose(pipe);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << path << " is not valid DFXML:\n" << said;
}

#endif

}  // namespace segsniff::test
