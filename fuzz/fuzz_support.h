// Shared pieces of the libFuzzer targets: a scratch directory in memory,
// inputs that carry several files, and the check that stops a run
// when an invariant of the code under test is broken.
#ifndef KAVEL_FUZZ_FUZZ_SUPPORT_H_
#define KAVEL_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavel::fuzz {

// Separates the files of one input: "<file 0><sep><file 1><sep>...". Seed
// inputs and the dictionaries use the same four bytes.
inline constexpr std::string_view kFileSeparator = "\xFA\xCE\xB0\x0C";

// The input cut at every separator (one part when there is none).
std::vector<std::string_view> SplitFiles(const uint8_t* data, size_t size);

// A directory of the in-memory Env that InitOnce installs, emptied by
// Reset before each input. Paths are "/scratch/...".
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  // Removes every file and directory.
  void Reset();
  // Empties the file system again at the end of an input, so that an input
  // frees what it allocated (libFuzzer scans for leaks after any input that
  // did not).
  struct EndOfInput {
    ~EndOfInput();
  };
  const std::string& path() const { return path_; }
  std::string Join(std::string_view name) const;
  // Writes the file (creating parents); aborts when that fails.
  void Write(std::string_view name, std::string_view bytes) const;
  // Makes the directory and its parents ("a/b").
  void MakeDirectory(std::string_view name) const;

 private:
  std::string path_;
};

// Once per process: installs the in-memory Env with a clock that moves.
void InitOnce();

// Stops the run with a message when `condition` is false; libFuzzer reports
// it as a crash with the input that caused it.
#define KAVEL_FUZZ_CHECK(condition)                                  \
  do {                                                               \
    if (!(condition)) ::kavel::fuzz::Fail(#condition, __FILE__, __LINE__); \
  } while (0)
[[noreturn]] void Fail(const char* what, const char* file, int line);

}  // namespace kavel::fuzz

#endif  // KAVEL_FUZZ_FUZZ_SUPPORT_H_
