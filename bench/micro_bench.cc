// Micro-benchmarks of the hot paths of decoding and posting: reading lines
// from message text in memory, finding and replacing kludge lines,
// recognising begin lines, and case-insensitive path lookup in a directory
// of 40,000 entries. Built with -DKAVEL_BENCH=ON as kavel_micro_bench.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "decoding/framing.h"
#include "decoding/output_file.h"
#include "msgbase/byte_stream.h"
#include "msgbase/message_text.h"
#include "platform/path_cache.h"
#include "platform/platform.h"

namespace kavel {
namespace {

// A posted section as decoding meets it: kludges, about 16 KB of lines of
// 30-75 characters, tearline, origin, SEEN-BY and PATH.
std::unique_ptr<ByteStream> SectionText() {
  std::unique_ptr<ByteStream> text = NewMemoryStream(65536);
  WriteTextLine(text.get(), "\x01MSGID: 2:5020/1 4b1d0001");
  WriteTextLine(text.get(), "\x01PID: Tolvex 2.2Beta");
  WriteTextLine(text.get(), "\x01TZUTC: 0300");
  WriteTextLine(text.get(), "\x01text.begin 3 of 7 of file news.txt");
  int32_t count = 0;
  for (int i = 0; count <= 16384; ++i) {
    std::string line = "Line " + std::to_string(i) +
                       " of the section: fidonet echo mail tosser node";
    line.resize(30 + (i * 7) % 46, 'x');
    WriteTextLine(text.get(), line);
    count += static_cast<int32_t>(line.size()) + 2;
  }
  WriteTextLine(text.get(), "\x01text.end");
  WriteTextLine(text.get(), "--- kavel");
  WriteTextLine(text.get(), " * Origin: Kavel bench node (2:5020/1)");
  WriteTextLine(text.get(), "SEEN-BY: 5020/1 2 3 4 5 6 7 8 9 10");
  WriteTextLine(text.get(), "\x01PATH: 5020/1");
  return text;
}

void BM_ReadTextLines(benchmark::State& state) {
  std::unique_ptr<ByteStream> text = SectionText();
  std::string line;
  for (auto _ : state) {
    text->Seek(0);
    int lines = 0;
    while (!AtEndOfText(text.get())) {
      ReadTextLine(text.get(), &line, kMaxTextLine);
      ++lines;
    }
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * text->Size());
}
BENCHMARK(BM_ReadTextLines);

// The same lines looked at in place, as decoding walks every message.
void BM_WalkTextLines(benchmark::State& state) {
  std::unique_ptr<ByteStream> text = SectionText();
  for (auto _ : state) {
    text->Seek(0);
    TextLineWalk lines(text.get(), kMaxTextLine);
    std::string_view line;
    size_t bytes = 0;
    while (lines.Next(&line)) bytes += line.size();
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(state.iterations() * text->Size());
}
BENCHMARK(BM_WalkTextLines);

// The section's lines kept with CR LF ends, as the scan keeps a found
// section for the saving thread (and as a decoded file holds them).
void BM_KeepSectionLines(benchmark::State& state) {
  std::unique_ptr<ByteStream> text = SectionText();
  std::string raw(static_cast<size_t>(text->Size()), '\0');
  text->Seek(0);
  text->Read(raw.data(), static_cast<uint16_t>(raw.size()));
  std::string kept;
  for (auto _ : state) {
    kept.clear();
    AppendTextLinesCrLf(raw, &kept);
    benchmark::DoNotOptimize(kept.data());
  }
  state.SetBytesProcessed(state.iterations() * text->Size());
}
BENCHMARK(BM_KeepSectionLines);

// Lines of words in random order and of random lengths, as ordinary
// echomail holds them (a line end falls at no foreseeable place), passed
// over as the scan for begin lines passes them (none is one).
void BM_PassOverTextLines(benchmark::State& state) {
  const char* words[] = {"fido", "echo",   "origin", "tosser", "point",
                         "node", "mailer", "binkp",  "area",   "sysop",
                         "net",  "zone",   "packet", "nodelist"};
  std::unique_ptr<ByteStream> text = NewMemoryStream(65536);
  uint32_t seed = 7;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  for (int32_t size = 0; size < 16384;) {
    std::string line;
    const size_t width = 30 + next() % 46;
    while (line.size() < width) line += std::string(words[next() % 14]) + " ";
    WriteTextLine(text.get(), line);
    size += static_cast<int32_t>(line.size()) + 1;
  }
  const FramingFilter begin("text.begin % of % of file %");
  for (auto _ : state) {
    text->Seek(0);
    TextLineWalk lines(text.get(), kMaxTextLine);
    std::string_view line;
    int32_t at = 0, after = 0;
    size_t found = 0;
    while (lines.NextAdmitted(begin.leads(), &line, &at, &after)) ++found;
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(state.iterations() * text->Size());
}
BENCHMARK(BM_PassOverTextLines);

void BM_FindKludgeLine(benchmark::State& state) {
  std::unique_ptr<ByteStream> text = SectionText();
  std::string line;
  for (auto _ : state) {
    // PATH stands last: the whole text is walked.
    benchmark::DoNotOptimize(
        FindKludgeLine(text.get(), "\x01PATH:", &line, kMaxTextLine));
  }
  state.SetBytesProcessed(state.iterations() * text->Size());
}
BENCHMARK(BM_FindKludgeLine);

void BM_PutKludgeLine(benchmark::State& state) {
  std::unique_ptr<ByteStream> text = SectionText();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        PutKludgeLine(&text, "\x01MSGID:", "\x01MSGID: 2:5020/1 4b1d0002"));
  }
  state.SetBytesProcessed(state.iterations() * text->Size());
}
BENCHMARK(BM_PutKludgeLine);

void BM_ParseBeginLine(benchmark::State& state) {
  const std::string begin = "\x01text.begin 3 of 7 of file news.txt";
  const std::string pattern = "\x01text.begin % of % of file %";
  const std::string ordinary =
      "Line 123 of the section: fidonet echo mail tosser node";
  BeginLine out;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParseBeginLine(begin, pattern, &out));
    benchmark::DoNotOptimize(ParseBeginLine(ordinary, pattern, &out));
  }
}
BENCHMARK(BM_ParseBeginLine);

void BM_IsFramingLine(benchmark::State& state) {
  const std::string pattern = "\x01text.begin % of % of file %";
  const std::string ordinary =
      "Line 123 of the section: fidonet echo mail tosser node";
  for (auto _ : state) {
    benchmark::DoNotOptimize(IsFramingLine(ordinary, pattern));
  }
}
BENCHMARK(BM_IsFramingLine);

// A directory of 40,000 message files, made once for all path benchmarks
// and removed at exit.
class BigDirectory {
 public:
  static const std::string& Path() {
    static BigDirectory dir;
    return dir.path_;
  }
  ~BigDirectory() {
    std::string command = "rm -rf '" + path_ + "'";
    if (std::system(command.c_str()) != 0) std::perror("rm");
  }

 private:
  BigDirectory() {
    char pattern[] = "/tmp/kavel-micro.XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) std::abort();
    path_ = made;
    for (int n = 1; n <= 40000; ++n) {
      const std::string name = path_ + "/" + std::to_string(n) + ".msg";
      const int fd = open(name.c_str(), O_CREAT | O_WRONLY, 0644);
      if (fd < 0) std::abort();
      close(fd);
    }
  }
  std::string path_;
};

// Looks up names spelled in another case than on disk.
void BM_ResolveOtherCase(benchmark::State& state) {
  const std::string dir = BigDirectory::Path();
  int n = 0;
  for (auto _ : state) {
    n = n % 40000 + 1;
    benchmark::DoNotOptimize(
        NativePath(dir + "\\" + std::to_string(n) + ".MSG"));
  }
}
BENCHMARK(BM_ResolveOtherCase);

// Looks up names that do not exist (as a new message's name).
void BM_ResolveMissing(benchmark::State& state) {
  const std::string dir = BigDirectory::Path();
  int n = 40000;
  for (auto _ : state) {
    ++n;
    benchmark::DoNotOptimize(
        NativePath(dir + "\\" + std::to_string(n) + ".msg"));
  }
}
BENCHMARK(BM_ResolveMissing);

// The check before a file is created anew: is the name taken in any case?
void BM_NameTakenInAnyCase(benchmark::State& state) {
  const std::string dir = BigDirectory::Path();
  int n = 40000;
  for (auto _ : state) {
    ++n;
    benchmark::DoNotOptimize(platform_internal::NameTakenInAnyCase(
        dir + "/" + std::to_string(n) + ".msg"));
  }
}
BENCHMARK(BM_NameTakenInAnyCase);

}  // namespace
}  // namespace kavel

BENCHMARK_MAIN();
