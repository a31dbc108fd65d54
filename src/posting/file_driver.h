// The /ENCODE command: the file name or mask and the area tag in, every
// matching text file posted into the area through the composer.
#ifndef KAVEL_POSTING_FILE_DRIVER_H_
#define KAVEL_POSTING_FILE_DRIVER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

struct RunContext;

// Size of the blocks in which IsBinaryFile reads a file.
inline constexpr size_t kBinaryTestBlock = 65536;

// Runs /ENCODE with `text`, the command line after the command word: its
// first word is the file name or mask, its second the area tag (both
// upper-cased by FirstWord; file names resolve ignoring case). Posts
// nothing, with an information line, when the WHEN schedule says no for
// today.
void PostFileMask(RunContext& ctx, std::string_view text);

// True when the file holds a byte of value 0; false also when it cannot be
// opened.
bool IsBinaryFile(std::string_view name);

// What PostFileMask found when it tested the mask itself for a byte 0. A
// mask without wildcards that names a file which could be opened is not
// read a second time for the test, and a text file so named not a third
// time to count its sections: the test counted them.
struct MaskTest {
  bool opened = false;
  bool binary = false;
  // When opened and not binary: CountSectionLines of the file as read.
  std::vector<int32_t> sections;
};

// Looks the area up, then posts every file the mask matches; "Can't find
// file to post.." when it matches none. A matched file that holds a byte 0
// is announced but not posted (an error line says so). Into a passthrough
// area nothing is posted: one error line says the area is passthrough.
void PostTextFiles(RunContext& ctx, std::string_view text,
                   const MaskTest& tested = MaskTest());

// As PostTextFiles, for a named file known to hold a byte 0: it is
// announced, its area prepared and closed again, and an error line says it
// was not posted. Silent when nothing matches.
void PostBinaryFiles(RunContext& ctx, std::string_view text,
                     const MaskTest& tested = MaskTest());

}  // namespace kavel

#endif  // KAVEL_POSTING_FILE_DRIVER_H_
