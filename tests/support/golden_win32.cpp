// The golden runner on Windows: segsniff started with CreateProcessA, its
// standard handles set up by the test; and, under wine, the Unix machine
// underneath for what Windows cannot do to a file (truncate it while it is
// mapped) or to a drive (make one from a file).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/golden.h"

namespace segsniff::test {

namespace fs = std::filesystem;

namespace {

// One argument as the C runtime splits a command line: quoted when it is
// empty or holds blanks or quotes, backslashes doubled before a quote.
std::string quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) return argument;
  std::string text = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    text += c;
  }
  text.append(2 * backslashes, '\\');
  return text + "\"";
}

}  // namespace

std::string from_text_mode(const std::string& raw, const char* stream) {
  std::string text;
  text.reserve(raw.size());
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n') {
      if (text.empty() || text.back() != '\r') {
        ADD_FAILURE() << stream << ": a line feed without CR at byte " << i;
      } else {
        text.pop_back();
      }
    }
    text += raw[i];
  }
  return text;
}

namespace {

HANDLE inheritable_file(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     disposition, 0, nullptr);
}

template <typename Function>
Function wine_function(const char* module, const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(module), name)));
}

std::string narrow(const wchar_t* wide) {
  const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string text(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr);
  text.pop_back();
  return text;
}

// CTest reads GoogleTest's list of tests and splits it at line feeds: the
// test program writes its own output without CRs.
const bool binary_standard_streams = [] {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  return true;
}();

}  // namespace

bool under_wine() { return wine_function<void*>("ntdll.dll", "wine_get_version") != nullptr; }

std::string unix_path_of(const std::string& windows_path) {
  using Function = char*(CDECL*)(const wchar_t*);
  const auto convert = wine_function<Function>("kernel32.dll", "wine_get_unix_file_name");
  if (convert == nullptr) return "";
  std::wstring wide(windows_path.begin(), windows_path.end());
  char* path = convert(wide.c_str());
  if (path == nullptr) return "";
  std::string text = path;
  HeapFree(GetProcessHeap(), 0, path);
  return text;
}

std::string windows_path_of(const std::string& unix_path) {
  using Function = wchar_t*(CDECL*)(const char*);
  const auto convert = wine_function<Function>("kernel32.dll", "wine_get_dos_file_name");
  if (convert == nullptr) return "";
  wchar_t* path = convert(unix_path.c_str());
  if (path == nullptr) return "";
  std::string text = narrow(path);
  HeapFree(GetProcessHeap(), 0, path);
  return text;
}

std::string build_path(const char* path) {
  if (path[0] != '/' || !under_wine()) return path;
  return windows_path_of(path);
}

std::string null_device() { return "NUL"; }

// wine's CreateSymbolicLinkA makes nothing (and says it did); its files are
// Unix files, whose links it follows as a Unix program does: the link is
// made there.
void make_symlink(const std::string& target, const std::string& link, bool to_folder) {
  if (under_wine()) {
    const bool relative = target.find_first_of("/\\:") == std::string::npos;
    const std::string made = host_first_line_of("ln -s '" + (relative ? target : unix_path_of(target)) +
                                                "' '" + unix_path_of(link) + "' && echo made");
    if (made != "made") ADD_FAILURE() << "cannot make the link " << link << ": " << made;
    return;
  }
  // Without privileges where the system allows it (developer mode).
  constexpr DWORD unprivileged = 0x2;
  const DWORD flags = (to_folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | unprivileged;
  if (!CreateSymbolicLinkA(link.c_str(), target.c_str(), flags))
    ADD_FAILURE() << "cannot make the link " << link << ": error " << GetLastError();
}

std::string host_first_line_of(const std::string& command) {
  using Spawn = LONG(CDECL*)(char* const argv[], int wait);  // an NTSTATUS
  const auto spawn = wine_function<Spawn>("ntdll.dll", "__wine_unix_spawnvp");
  if (spawn == nullptr) return "";
  char folder[MAX_PATH], file[MAX_PATH];
  if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "sgs", 0, file) == 0)
    return "";
  std::string text = "(" + command + ") > '" + unix_path_of(file) + "' 2>&1";
  char shell[] = "/bin/sh", option[] = "-c";
  char* const argv[] = {shell, option, text.data(), nullptr};
  const bool ran = spawn(argv, 1) == 0;
  std::string line = ran ? read_file(file) : "";
  DeleteFileA(file);
  return line.substr(0, line.find('\n'));
}

// The C++ library's remove_all does not come back from a folder that holds
// a Unix link to a folder, as wine shows it: under wine the Unix machine
// removes the folder.
ScratchDir::~ScratchDir() {
  if (under_wine() && host_first_line_of("rm -rf '" + unix_path_of(path_) + "' && echo gone") == "gone")
    return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

ScratchDir::ScratchDir() {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (;;) {
    char name[40];
    std::snprintf(name, sizeof name, "segsniff-test-%016llx",
                  static_cast<unsigned long long>(random()));
    const fs::path candidate = fs::temp_directory_path() / name;
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
}

int run_segsniff_with_handles(const ScratchDir& dir, const std::vector<std::string>& args,
                              void* output, void* error) {
  std::string command_line = quoted(binary_path());
  for (const auto& a : args) command_line += " " + quoted(a);
  const HANDLE input = inheritable_file("NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = static_cast<HANDLE>(output);
  startup.hStdError = static_cast<HANDLE>(error);
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessA(binary_path().c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     dir.path().c_str(), &startup, &process);
  CloseHandle(input);
  if (!started) {
    ADD_FAILURE() << "cannot start " << binary_path() << ": error " << GetLastError();
    return 127;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 127;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

RunResult run_segsniff(const ScratchDir& dir, const std::vector<std::string>& args, bool merge) {
  // Beside the directory, so that the run's own output files are not in it.
  const std::string out_path = dir.path() + ".out", err_path = dir.path() + ".err";
  const HANDLE output = inheritable_file(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  const HANDLE error = merge ? output : inheritable_file(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  RunResult result;
  result.status = run_segsniff_with_handles(dir, args, output, error);
  CloseHandle(output);
  if (!merge) CloseHandle(error);
  result.out = from_text_mode(read_file(out_path), "standard output");
  if (!merge) result.err = from_text_mode(read_file(err_path), "standard error");
  DeleteFileA(out_path.c_str());
  DeleteFileA(err_path.c_str());
  return result;
}

}  // namespace segsniff::test
