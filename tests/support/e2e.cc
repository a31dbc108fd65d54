#include "support/e2e.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kavel::e2e {
namespace fs = std::filesystem;

const char kUsage[] =
    "Usage:\n"
    " /Encode <File> <Area> - post <file> (may be the mask) in area <Area>\n"
    " /Decode <Area>        - decode files from <Area>\n"
    " /All                  - decode all files from all areas\n";

RunDirectory::RunDirectory() {
  std::string pattern =
      (fs::temp_directory_path() / "kavel-e2e-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) abort();
  path_ = pattern;
  env_["KAVEL_FAKE_CLOCK"] = "2001-03-07 21:05:09";
}

RunDirectory::~RunDirectory() {
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                    ignored);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string RunDirectory::Join(std::string_view relative) const {
  if (relative.empty()) return path_;
  return path_ + "/" + std::string(relative);
}

void RunDirectory::WriteConfig(const std::vector<std::string>& lines) const {
  std::string text = "HPTPATH " + Join("areas") + "\r\n";
  for (const std::string& line : lines) text += line + "\r\n";
  WriteFile("Kavel.cfg", text);
}

std::string RunDirectory::AddArea(const std::string& tag,
                                  const std::string& format, std::string path) {
  if (path.empty()) path = Join("bases/" + tag);
  areas_ += "EchoArea " + tag + " " + path + " -b " + format + "\n";
  WriteFile("areas", areas_);
  MakeDirectory("bases");
  return format.substr(0, 1) + path;
}

void RunDirectory::WriteFile(std::string_view relative,
                             std::string_view bytes) const {
  fs::path file = Join(relative);
  fs::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string RunDirectory::ReadFile(std::string_view relative) const {
  std::ifstream in(Join(relative), std::ios::binary);
  if (!in) return "";
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool RunDirectory::Exists(std::string_view relative) const {
  return fs::exists(fs::symlink_status(Join(relative)));
}

void RunDirectory::MakeDirectory(std::string_view relative) const {
  fs::create_directories(Join(relative));
}

std::vector<std::string> RunDirectory::List(std::string_view relative) const {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(Join(relative), ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> RunDirectory::FilesBelow(
    std::string_view relative) const {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry :
       fs::recursive_directory_iterator(Join(relative), ignored)) {
    if (entry.is_regular_file()) {
      names.push_back(fs::relative(entry.path(), path_).string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

void RunDirectory::SetEnv(const std::string& name, const std::string& value) {
  env_[name] = value;
}

RunResult RunDirectory::Run(const std::vector<std::string>& arguments) const {
  return RunIn(path_, arguments);
}

RunResult RunDirectory::RunIn(const std::string& working_dir,
                              const std::vector<std::string>& arguments) const {
  RunResult result;
  FILE* sinks[2] = {tmpfile(), tmpfile()};  // standard output and error
  std::fflush(nullptr);
  const pid_t pid = sinks[0] && sinks[1] ? fork() : -1;
  if (pid == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, STDIN_FILENO);
    dup2(fileno(sinks[0]), STDOUT_FILENO);
    dup2(fileno(sinks[1]), STDERR_FILENO);
    if (chdir(working_dir.c_str()) != 0) _exit(127);
    for (const auto& [name, value] : env_)
      setenv(name.c_str(), value.c_str(), 1);
    ExecKavel(arguments);
  }
  int status = 0;
  while (pid > 0 && waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (pid > 0 && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (sinks[0] != nullptr) result.out = ReadAndClose(sinks[0]);
  if (sinks[1] != nullptr) result.err = ReadAndClose(sinks[1]);
  return result;
}

void ExecKavel(const std::vector<std::string>& arguments) {
  std::string binary = KAVEL_BINARY;
  std::vector<std::string> copies(arguments);
  std::vector<char*> argv = {binary.data()};
  for (auto& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  execv(binary.c_str(), argv.data());
  _exit(127);
}

std::string ReadAndClose(FILE* file) {
  std::string text;
  rewind(file);
  char buffer[65536];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;)
    text.append(buffer, n);
  fclose(file);
  return text;
}

std::vector<std::string> Lines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace kavel::e2e
