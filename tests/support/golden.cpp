#include "support/golden.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/channels.h"

namespace segsniff::test {

namespace fs = std::filesystem;

std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

namespace {

void write_file(const fs::path& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
}

// Invisible bytes as \xNN, so that a difference in them shows.
std::string escaped(const std::string& line) {
  std::string shown;
  for (unsigned char c : line) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    shown += c == '\\' ? "\\\\" : (c < 0x20 || c >= 0x7F) ? hex : std::string(1, static_cast<char>(c));
  }
  return shown;
}

}  // namespace

// With SEGSNIFF_SEED_DIR set, every fixture file a test writes is also kept
// there under a name made from its content: the fuzz seed corpus is built
// from the fixtures this way (fuzz/make_seeds.sh).
void ScratchDir::write(const std::string& name, const std::string& content) const {
  write_file(file(name), content);
  const char* seeds = std::getenv("SEGSNIFF_SEED_DIR");
  if (seeds == nullptr || *seeds == '\0' || content.empty()) return;
  char seed[32];
  std::snprintf(seed, sizeof seed, "fixture-%016zx", std::hash<std::string>{}(content));
  write_file(fs::path(seeds) / seed, content);
}

std::string ScratchDir::read(const std::string& name) const { return read_file(file(name)); }

bool ScratchDir::exists(const std::string& name) const { return fs::exists(file(name)); }

std::vector<std::string> ScratchDir::list() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

RunResult run_with_files(const std::vector<FixtureFile>& files,
                         const std::vector<std::string>& args, bool merge) {
  ScratchDir dir;
  for (const auto& f : files) dir.write(f.name, f.content);
  return run_segsniff(dir, args, merge);
}

::testing::AssertionResult same_text(const std::string& have, const std::string& want) {
  if (have == want) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < have.size() && at < want.size() && have[at] == want[at]) ++at;
  const std::size_t from = at == 0 ? 0 : have.rfind('\n', at - 1) + 1;  // npos + 1 is 0
  auto line = [from](const std::string& s) {  // with its line feed, if any
    if (from >= s.size()) return std::string("<end>");
    return escaped(s.substr(from, std::min(s.find('\n', from), s.size() - 1) + 1 - from));
  };
  return ::testing::AssertionFailure()
         << "first difference at line " << std::count(have.begin(), have.begin() + from, '\n') + 1
         << ", column " << at - from + 1 << " (have " << have.size() << " bytes, want " << want.size()
         << ")\n  have: " << line(have) << "\n  want: " << line(want) << "\n";
}

std::string kept_lines(const std::string& text, std::initializer_list<const char*> kept) {
  std::istringstream in(text);
  std::string line, result;
  while (std::getline(in, line))
    for (const char* piece : kept)
      if (std::size_t at = line.find(piece); at != std::string::npos) {
        result += line.substr(at) + "\n";
        break;
      }
  return result;
}

std::string banner() {
  return "segsniff version 1.18 from date 2002-10-06 ( devinf memmap )\n"
         "report problems with the command line and the output they concern\n"
         "\n";
}

std::string usage_text() {
  return "usage: segsniff [options] [filenames]\n"
         "valid usages are:\n"
         "segsniff <filenames>\n"
         "    scans all given files as jpeg files and dumps many useless infos\n"
         "segsniff -recover <filenames>\n"
         "    scans all given files and extracts all enclosed jpeg files into\n"
         "    the current directory on disk\n"
         "segsniff -copy <source> <destfile>    (use for example \\\\.\\x: for drive x:)\n"
         "    copies a file or device\n"
         "    use for example \\\\.\\x: for drive x:\n"
         "    use for example \\\\.\\physicaldrive2 for the third disc\n"
         "segsniff -info <source>\n"
         "    shows the drive geometry and size of a drive\n";
}

std::string reading_lines(const std::string& name, std::size_t size) {
  const std::string n = std::to_string(size);
  return "reading file " + name + ":\nFilelen " + n + " Bytes\nfile size " + n + " bytes\n";
}

namespace {
std::string captured[3];  // out, err, all
void capture_writer(Channel channel, const char* data, std::size_t size) {
  captured[channel == Channel::out ? 0 : 1].append(data, size);
  captured[2].append(data, size);
}
}  // namespace

CapturedOutput::CapturedOutput() {
  flush_output();
  for (auto& s : captured) s.clear();
  set_channel_writer(capture_writer);
}
CapturedOutput::~CapturedOutput() { reset_channel_writer(); }
std::string CapturedOutput::out() const { flush_output(); return captured[0]; }
std::string CapturedOutput::err() const { flush_output(); return captured[1]; }
std::string CapturedOutput::all() const { flush_output(); return captured[2]; }

std::string binary_path() { return build_path(SEGSNIFF_BINARY); }
std::string source_dir() { return build_path(SEGSNIFF_SOURCE_DIR); }
std::string sample_jpeg_path() { return build_path(SEGSNIFF_SAMPLE_JPEG); }

std::string corpus_dir() {
  std::error_code ec;
  const std::string corpus = build_path(SEGSNIFF_CORPUS_DIR);
  return fs::is_directory(corpus, ec) ? corpus : "";
}

std::vector<std::string> corpus_files() {
  std::vector<std::string> files;
  if (corpus_dir().empty()) return files;
  for (const auto& entry : fs::directory_iterator(corpus_dir()))
    if (entry.path().extension() == ".jpg") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace segsniff::test
