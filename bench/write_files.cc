// Baselines for posting: plain open/write/close loops, one per size read
// from standard input (one decimal size a line).
//
//   write_files <directory> < sizes         one file per size, as 1.msg,
//                                           2.msg, ... in the directory
//   write_files --append <file> < sizes     every size appended to one file,
//                                           opened and closed for each
//
// Exit status 0 on success.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const bool append = argc == 3 && std::strcmp(argv[1], "--append") == 0;
  if (argc != 2 && !append) {
    std::fprintf(stderr,
                 "usage: write_files <directory> < sizes\n"
                 "       write_files --append <file> < sizes\n");
    return 2;
  }
  const std::string target = argv[argc - 1];
  std::vector<char> bytes;
  long size = 0;
  for (int n = 1; std::cin >> size; ++n) {
    if (size < 0) return 2;
    bytes.assign(static_cast<size_t>(size), 'x');
    const std::string path =
        append ? target : target + "/" + std::to_string(n) + ".msg";
    std::FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
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
