// Free file names of the form <stem>.<ext>, <stem>1.<ext>, <stem>2.<ext>, ...
// in a directory, for reassembled files that must not replace an existing
// one and for forwards.
#ifndef KAVEL_DECODING_UNIQUE_NAME_H_
#define KAVEL_DECODING_UNIQUE_NAME_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kavel {

// Splits a file name at its last dot (a dot in first place does not count):
// "NEWS.2024.TXT" gives "NEWS.2024" and "TXT"; "README" gives "README" and
// an empty extension.
void SplitFileName(std::string_view name, std::string* stem, std::string* ext);

// The candidate for number n: stem + n (n >= 1) + "." + ext, without the dot
// when ext is empty.
std::string NumberedFileName(std::string_view stem, int64_t n,
                             std::string_view ext);

// Hands out free names and remembers, per directory, stem and extension,
// the last number it gave, so that a run that saves thousands of forwards
// does not probe every earlier name again. The names are the first free ones
// counted from 0, as long as nothing frees a lower number during the run.
class UniqueNames {
 public:
  using ExistsFn = std::function<bool(const std::string& path)>;

  // `dir` is empty or ends in a separator. Answers dir + the first candidate
  // at or after the remembered number for which `exists` says no.
  std::string Next(std::string_view dir, std::string_view stem,
                   std::string_view ext, const ExistsFn& exists);

 private:
  std::unordered_map<std::string, int64_t> next_number_;
};

}  // namespace kavel

#endif  // KAVEL_DECODING_UNIQUE_NAME_H_
