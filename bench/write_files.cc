// The baseline for posting into a *.MSG directory: writes one file per size
// read from standard input (one decimal size a line) into a directory, as
// 1.msg, 2.msg, ..., with a plain open/write/close loop.
//
//   write_files <directory> < sizes
//
// Exit status 0 on success.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_files <directory> < sizes\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<char> bytes;
  long size = 0;
  for (int n = 1; std::cin >> size; ++n) {
    if (size < 0) return 2;
    bytes.assign(static_cast<size_t>(size), 'x');
    const std::string path = dir + "/" + std::to_string(n) + ".msg";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
      std::perror(path.c_str());
      return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
      std::perror(path.c_str());
      return 1;
    }
  }
  return 0;
}
