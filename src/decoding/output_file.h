// A text file that decoding writes line by line with CR LF line ends, which
// either is completed whole or leaves nothing behind.
#ifndef KAVEL_DECODING_OUTPUT_FILE_H_
#define KAVEL_DECODING_OUTPUT_FILE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace kavel {

class PlatformFile;

// Append to `out` what OutputFile's WriteLine and WriteTextLines would
// write for the same text.
void AppendLineCrLf(std::string_view line, std::string* out);
void AppendTextLinesCrLf(std::string_view lines, std::string* out);

class OutputFile {
 public:
  // `buffer`, when given, holds the bytes on their way to the file instead
  // of a buffer of the file's own: a caller that writes many files in turn
  // keeps one allocation for all of them. It must outlive this object.
  explicit OutputFile(std::string* buffer = nullptr);
  // Deletes the file when it was neither closed successfully nor kept.
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates `path`, which must not exist yet. False when it exists or
  // cannot be created; *error (when given) then holds the platform's
  // kError* code (kErrorExists for a name another process holds).
  bool CreateNew(std::string_view path, int* error = nullptr);
  // Creates a file without a name in `dir` (see OpenUnnamedFile); false
  // when the platform cannot, and CreateNew of a temporary name is the way.
  // Such a file is put in place with Finish and LinkAs, then closed; until
  // it is linked, nothing of it is seen, and closing it leaves nothing.
  bool CreateUnnamed(std::string_view dir);
  // Appends the line and CR LF. Failures stick and show in Close.
  void WriteLine(std::string_view line);
  // Appends whole lines as a text holds them, each ending in a CR and maybe
  // one LF after it: each line with CR LF, as WriteLine would.
  void WriteTextLines(std::string_view lines);
  // Appends the bytes as they are.
  void WriteBytes(std::string_view bytes);
  // Flushes and closes; true when every write reached the file. On false the
  // file has been deleted.
  bool Close();
  // Closes and deletes the file (a failed save).
  void Discard();
  // Writes what waits in the buffer and keeps the file open; true when
  // every write reached the file.
  bool Finish();
  // Names the finished unnamed file `path` while the name is free (see
  // PlatformFile::LinkAs); *error as there.
  bool LinkAs(std::string_view path, int* error);

  // The file's name; empty for an unnamed file.
  const std::string& path() const { return path_; }
  // Bytes written since CreateNew (what the file holds once closed).
  uint64_t size() const { return size_; }

 private:
  // A file just opened under `path` ("" when it has no name) starts empty.
  void Start(std::string_view path);
  // Writes what the buffer holds; false once a write failed.
  bool Flush();
  // Adds the bytes behind what the buffer holds, flushing it first when
  // they do not fit (bytes larger than the buffer go straight to the file).
  void Append(std::string_view bytes);

  std::string path_;
  std::unique_ptr<PlatformFile> file_;
  std::string own_buffer_;
  std::string& buffer_;  // [0, used_) waits for the file
  size_t used_ = 0;
  uint64_t size_ = 0;
  bool failed_ = false;
};

// Creates `out` for a file to be put in place in `dir` later, `target`
// being the name meant for it: without a name where the platform can
// (out->path() then empty), otherwise under a free temporary name beside
// `target` ("<target>.kv$", ".kv$1", ...). False when neither was made.
bool CreateForPlacing(OutputFile* out, std::string_view dir,
                      const std::string& target);

// Gives a file made by CreateForPlacing the name `target` once it is
// complete: an unnamed one (`temp` empty, Finish done; closed afterwards)
// is linked, a named one (closed) renamed from `temp`. Without `replace`
// the name is taken only while it is free: false with *error kErrorExists
// when another file holds it, `temp` then kept for another name. With
// `replace` an existing `target` is replaced in one step. *error holds the
// platform's kError* code of a failure.
bool ClaimName(OutputFile* out, const std::string& temp, bool replace,
               const std::string& target, int* error);

}  // namespace kavel

#endif  // KAVEL_DECODING_OUTPUT_FILE_H_
