// The one seam between Kavel and the operating system. Nothing outside
// src/platform/ includes a system header for files, the console, the clock or
// signals; everything above this seam works with program path text (DOS
// style: "\" or "/" separators, optional "X:" drive prefix). Every function
// here (but NativePath) forwards to the current Env (env.h), so the program
// runs unchanged on an in-memory or fault-injecting Env in tests.
//
// Path text rules (applied by every function here that takes a path):
//  * "\" and "/" both separate components.
//  * A drive prefix "X:" maps to the directory named by the environment
//    variable KAVEL_DRIVE_X (upper-case letter), or to "/" when it is unset.
//  * A path without a drive prefix is relative to the current directory
//    unless it begins with a separator.
//  * Each component is looked up with its exact spelling first; when that
//    does not exist, the directory is searched case-insensitively (letters
//    folded with the CP866 table of UpperText) and the existing entry is used
//    in whatever case it has. A component that matches nothing keeps the
//    program's spelling (so new files are created exactly as spelled).
//  * Directory listings used for this lookup are cached per directory and
//    kept current when this process creates, renames or deletes entries.
#ifndef KAVEL_PLATFORM_PLATFORM_H_
#define KAVEL_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// ---------------------------------------------------------------- paths

// Native path for program path text, resolved as described above (the
// POSIX Env's mapping, whatever Env is current).
std::string NativePath(std::string_view path);

// ---------------------------------------------------------------- files

enum class FileMode {
  kCreate,         // create or empty; read and write
  kOpenReadWrite,  // must exist; read and write
  kOpenRead,       // must exist; read only
  kOpenWrite,      // must exist; write only
  kCreateNew,      // create; fails (error kErrorExists) if the name exists
  // Write only; created when missing, never emptied. Every Write goes to the
  // end of the file as it is then, so whole records written by several
  // processes at once never overlap (one Write call per record).
  kAppend,
};

// Error codes reported through `error` out-parameters (0 = none).
constexpr int kErrorNone = 0;
constexpr int kErrorNotFound = 2;
constexpr int kErrorAccess = 5;
constexpr int kErrorExists = 80;
constexpr int kErrorNoSpace = 112;
constexpr int kErrorOther = 255;

// An open file of bytes. No lock is taken by opening; other processes may
// read and write the same file. Every operation answers true on success and
// false with last_error() set otherwise.
class PlatformFile {
 public:
  virtual ~PlatformFile() = default;
  // Reads up to n bytes at the current position; *got receives the count
  // (short only at end of file).
  virtual bool Read(void* buffer, size_t n, size_t* got) = 0;
  // Writes all n bytes; false (kErrorNoSpace or other) when fewer were
  // stored.
  virtual bool Write(const void* buffer, size_t n) = 0;
  virtual bool Seek(uint64_t position) = 0;
  // Read and Write at `offset`; where the file's own position is left
  // afterwards is unspecified. By default a Seek and a Read or Write.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t n, size_t* got) {
    *got = 0;
    return Seek(offset) && Read(buffer, n, got);
  }
  virtual bool WriteAt(uint64_t offset, const void* buffer, size_t n) {
    return Seek(offset) && Write(buffer, n);
  }
  virtual bool Size(uint64_t* size) = 0;
  // Makes the file end at `size`.
  virtual bool Truncate(uint64_t size) = 0;
  virtual bool Sync() = 0;
  // Advisory write lock on `length` bytes at `offset` (POSIX record lock,
  // the convention of the Linux FTN tools). Polls until taken or until
  // timeout_ms passed; false when it could not be had.
  virtual bool LockRange(uint64_t offset, uint64_t length, int timeout_ms) = 0;
  virtual void UnlockRange(uint64_t offset, uint64_t length) = 0;
  virtual int last_error() const = 0;
  // Gives a file made by OpenUnnamedFile the name `path`, only while no
  // entry has that name in any letter case (*error kErrorExists
  // otherwise). The file stays open. Other files cannot be named so.
  virtual bool LinkAs(std::string_view path, int* error) {
    (void)path;
    *error = kErrorOther;
    return false;
  }
};

// Opens `path` in `mode`. Returns null and sets *error when it fails.
std::unique_ptr<PlatformFile> OpenPlatformFile(std::string_view path,
                                               FileMode mode, int* error);
// A new file, read and write, that has no name in directory `dir` (a
// directory path, "" for the current one) until LinkAs gives it one;
// closed without a name it leaves nothing behind, even when the process
// dies. Null when the file system or the Env cannot make one: a file
// under a temporary name is then the way.
std::unique_ptr<PlatformFile> OpenUnnamedFile(std::string_view dir);

// Text file read line by line. A line ends at CR LF, LF or CR; the line end
// is not part of the line. Lines have no length limit here.
class TextReader {
 public:
  virtual ~TextReader() = default;
  // False at end of file (or on a read error).
  virtual bool ReadLine(std::string* line) = 0;
};
// Null with *error set when the file cannot be opened for reading.
std::unique_ptr<TextReader> OpenTextReader(std::string_view path, int* error);

// Text file written line by line; every line is ended by CR LF.
class TextWriter {
 public:
  virtual ~TextWriter() = default;
  virtual bool WriteLine(std::string_view line) = 0;
  // Writes bytes as they are (no line end added).
  virtual bool WriteRaw(std::string_view bytes) = 0;
  // Hands everything written so far to the operating system; false when any
  // write failed.
  virtual bool Flush() { return true; }
  // Flushes and closes; false when any write failed.
  virtual bool Close() = 0;
};
// append: keep the content and write after it (the file must exist);
// otherwise create or empty the file. Null with *error set on failure.
std::unique_ptr<TextWriter> OpenTextWriter(std::string_view path, bool append,
                                           int* error);
// Opens `path` for appending, creating it when missing (then *created is
// set) and never emptying it. Each Flush is one write at the end of the file
// as it is then, so lines flushed one at a time by several processes stay
// whole. Null with *error set on failure.
std::unique_ptr<TextWriter> OpenTextAppender(std::string_view path,
                                             bool* created, int* error);

// ---------------------------------------------------------- file system

// DOS attribute bits as reported by FileSearch.
constexpr uint8_t kAttrReadOnly = 0x01;  // no write permission
constexpr uint8_t kAttrHidden = 0x02;    // name begins with "."
constexpr uint8_t kAttrSystem = 0x04;    // never reported
constexpr uint8_t kAttrVolumeId = 0x08;  // never reported
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrArchive = 0x20;  // every regular file
constexpr uint8_t kAttrAll = 63;

struct FoundEntry {
  std::string name;  // the name as stored on disk
  uint8_t attributes = 0;
  uint32_t time = 0;  // DOS packed date-time of the last write
  uint32_t size = 0;  // low 32 bits
};

// A DOS-style file search. The pattern's last component may hold "*" and
// "?" ("*.*" matches every name, with or without a dot); matching ignores
// case. An entry is reported only when every attribute it carries (other
// than archive and read-only) is allowed by the mask; directories need
// kAttrDirectory, hidden entries kAttrHidden. When the mask allows
// directories, "." and ".." of the searched directory are reported too.
class FileSearch {
 public:
  virtual ~FileSearch() = default;
  virtual bool Start(std::string_view pattern, uint8_t attribute_mask,
                     FoundEntry* entry) = 0;
  virtual bool Next(FoundEntry* entry) = 0;
  virtual void End() = 0;
};
std::unique_ptr<FileSearch> NewFileSearch();

// Answers true on success.
bool CreateDirectory(std::string_view path);
bool DeleteFile(std::string_view path);
bool RenameFile(std::string_view from, std::string_view to);  // replaces `to`
// Renames only when `to` is free, as one step that no other process can come
// between (the claim of a free name). False with *error kErrorExists when
// `to` exists, other codes on other failures.
bool RenameFileNoReplace(std::string_view from, std::string_view to,
                         int* error);
// True when `path` names an existing entry (exact name, no wildcards).
bool PathExists(std::string_view path);
bool IsDirectory(std::string_view path);
bool FileSize(std::string_view path, uint64_t* size);

// What the file system says about the entry a path names, links followed.
struct FileFacts {
  std::string canonical;  // absolute native path, links resolved
  bool regular = false;   // a regular file (not a directory, device, ...)
  uint64_t size = 0;
};
// False when the path names nothing.
bool ExamineFile(std::string_view path, FileFacts* facts);

// ---------------------------------------------------------------- clock

struct ClockReading {
  uint16_t year = 0, month = 0, day = 0, day_of_week = 0;  // 0 = Sunday
  uint16_t hour = 0, minute = 0, second = 0, hundredths = 0;
  // Microseconds past the start of the hundredth, 0..9999; the real clock
  // fills it, fake clocks leave it 0.
  uint16_t microseconds = 0;
};

// Local date and time, read once (date and time from the same reading).
ClockReading ReadClock();

void SleepMilliseconds(int ms);
void SleepMicroseconds(int us);

// ---------------------------------------------------------------- console

// Writes text plus the platform's newline to standard output. On a terminal
// whose charset is UTF-8 a text that is valid UTF-8 is written as it is and
// any other text is converted from CP866; elsewhere the bytes go unchanged.
void ConsoleWriteLine(std::string_view text);
// ConsoleWriteLine for each line, in one write where the platform can.
void ConsoleWriteLines(const std::vector<std::string>& lines);
// Writes text without a newline (the progress display). Does nothing when
// stdout is not a terminal, so piped output holds only whole lines.
void ConsoleWrite(std::string_view text);
bool ConsoleIsTerminal();
// True when stdout is a terminal whose charset is UTF-8.
bool ConsoleIsUtf8();
// True when a key press is pending on a terminal stdin; never reads it.
bool ConsoleKeyPressed();
// Cursor row/column (1-based); only meaningful on a terminal. The getter
// answers false when the position is unknown.
bool ConsoleGetCursor(int* row, int* column);
void ConsoleSetCursor(int row, int column);

// ------------------------------------------------------- stop requests

// Installs SIGINT/SIGTERM handlers that only record the request.
void InstallStopHandlers();
// True once SIGINT or SIGTERM arrived; callers finish the message or area
// at hand and then stop.
bool StopRequested();

// ------------------------------------------------------------- process

std::string GetEnvironmentVariable(std::string_view name);

}  // namespace kavel

#endif  // KAVEL_PLATFORM_PLATFORM_H_
