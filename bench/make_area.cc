// Builds a large message area for the benchmarks through the program's own
// message-area code.
//
//   make_area <area id> <messages> [posted files]
//
// The area id is the usual one (first character M, S or J, then the path).
// Ordinary messages of 1-8 KB carry realistic kludges and end in SEEN-BY
// and PATH lines. `posted files` (default one per 25 messages) files of
// 1-40 sections (each about 16 KB) are spread evenly among them, laid out
// as posting writes them: MSGID, PID, the begin line as a kludge, the
// section's lines, the end line, an empty line, tearline and origin; their
// names are lower case. Every section counts as one of the `messages`.
// Output is deterministic for given arguments. Exit status 0 on success.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "msgbase/byte_stream.h"
#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"

namespace {

using kavel::FtnAddress;
using kavel::MessageArea;

// A small deterministic generator, so every run builds the same area.
uint32_t NextRandom(uint64_t* state) {
  *state = *state * 6364136223846793005ULL + 1442695040888963407ULL;
  return static_cast<uint32_t>(*state >> 33);
}

std::string Hex8(uint32_t v) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08x", v);
  return buf;
}

const char* const kWords[] = {"fido",  "node",   "echo",   "tosser", "point",
                              "zone",  "net",    "mailer", "packet", "area",
                              "sysop", "origin", "binkp",  "nodelist"};

std::string TextLine(uint64_t* rng) {
  std::string line;
  size_t want = 30 + NextRandom(rng) % 45;
  while (line.size() < want) {
    if (!line.empty()) line += ' ';
    line += kWords[NextRandom(rng) % (sizeof kWords / sizeof kWords[0])];
  }
  return line;
}

bool BeginMessage(MessageArea* area, uint32_t serial, const std::string& from,
                  const std::string& subject) {
  if (!area->AddMessage()) return false;
  area->SetFromName(from);
  area->SetToName("All");
  area->SetSubject(subject);
  kavel::DateTimeRecord dt;
  dt.year = 2026;
  dt.month = 1 + serial % 12;
  dt.day = 1 + serial % 28;
  dt.hour = serial % 24;
  dt.minute = serial % 60;
  dt.second = (serial / 7) % 60;
  area->SetDateWritten(dt);
  area->SetDateArrived(dt);
  area->SetAttribute(kavel::kAttrLoc, true);
  return true;
}

void WriteTossedTail(MessageArea* area, uint32_t n) {
  area->WriteLineRaw("SEEN-BY: 5020/1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 "
                     "17 18 19 20 21 22 23 24 25 26 27 28 29 30");
  area->WriteLineRaw("SEEN-BY: 5030/1 100 200 300 400 " +
                     std::to_string(500 + n % 400));
  area->WriteLineRaw("\x01PATH: 5020/1 5030/1 5040/" +
                     std::to_string(1 + n % 90));
}

bool Finish(MessageArea* area) {
  bool ok = area->StoreMessage();
  area->ReleaseMessage();
  return ok;
}

bool Ordinary(MessageArea* area, uint32_t n, uint64_t* rng) {
  if (!BeginMessage(area, n, "Sysop " + std::to_string(n % 97),
                    "Re: thread " + std::to_string(n % 503)))
    return false;
  area->WriteLineRaw("\x01MSGID: 2:5020/" + std::to_string(1 + n % 900) +
                     " " + Hex8(0x40000000u + n));
  area->WriteLineRaw("\x01REPLY: 2:5020/1 " + Hex8(0x3fffffffu + n));
  area->WriteLineRaw("\x01PID: GoldED+ 1.1.5");
  area->WriteLineRaw("\x01TZUTC: 0300");
  area->WriteLineRaw("\x01CHRS: CP866 2");
  size_t size = 1024 + NextRandom(rng) % (7 * 1024);
  size_t written = 0;
  while (written < size) {
    std::string line = TextLine(rng);
    written += line.size() + 1;
    area->WriteLineRaw(line);
  }
  area->WriteLineRaw("");
  area->WriteLineRaw("--- GoldED+/LNX 1.1.5");
  area->WriteLineRaw(" * Origin: bench node (2:5020/" +
                     std::to_string(1 + n % 900) + ")");
  WriteTossedTail(area, n);
  return Finish(area);
}

// All sections of one file carry the date of its first message (`first`),
// as posting writes them within moments of each other.
bool Section(MessageArea* area, uint32_t n, uint32_t first, uint64_t* rng,
             const std::string& name, int part, int parts) {
  std::string subject;
  if (parts > 1) {
    subject += '[';
    subject += std::to_string(part);
    subject += '/';
    subject += std::to_string(parts);
    subject += "] ";
  }
  subject += "bench file ";
  subject += name;
  if (!BeginMessage(area, first, "Kavel Robot", subject)) return false;
  area->WriteLineRaw("\x01MSGID: 2:5020/1 " + Hex8(0x50000000u + n));
  area->WriteLineRaw("\x01PID: Tolvex 2.2Beta");
  area->WriteLineRaw("\x01text.begin " + std::to_string(part) + " of " +
                     std::to_string(parts) + " of file " + name);
  // A section ends after the line that brings its count above 16384
  // (each line counting its length plus 2); the last one may be shorter.
  size_t limit = part == parts ? 2048 + NextRandom(rng) % 14000 : 16384;
  size_t count = 0;
  while (count <= limit) {
    std::string line = TextLine(rng);
    count += line.size() + 2;
    area->WriteLineRaw(line);
  }
  area->WriteLineRaw("\x01text.end");
  area->WriteLineRaw("");
  area->WriteLineRaw("--- kavel");
  area->WriteLineRaw(" * Origin: Kavel bench node (2:5020/1)");
  WriteTossedTail(area, n);
  return Finish(area);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_area <area id> <messages> [posted files]\n");
    return 2;
  }
  const std::string id = argv[1];
  const long total = std::atol(argv[2]);
  const long wanted = argc > 3 ? std::atol(argv[3]) : total / 25;
  if (total <= 0 || wanted < 0 || wanted > total) {
    std::fprintf(stderr, "make_area: bad counts\n");
    return 2;
  }
  std::unique_ptr<MessageArea> area;
  if (!kavel::OpenOrCreateMessageArea(&area, id)) {
    std::fprintf(stderr, "make_area: cannot open %s (status %x)\n", id.c_str(),
                 static_cast<unsigned>(kavel::lastAreaError));
    return 1;
  }
  uint64_t rng = 0x6b6176656cULL;
  long files = 0;
  // File k starts in the middle of the k-th of `wanted` equal stretches,
  // or right after the previous file when that one ran long.
  auto next_start = [&](long k) {
    return k * total / wanted + total / wanted / 2;
  };
  for (long n = 0; n < total;) {
    bool ok;
    if (files < wanted && n >= next_start(files)) {
      // Mostly small files, now and then a long one, never past the total.
      int parts = 1 + static_cast<int>(NextRandom(&rng) % 4);
      if (NextRandom(&rng) % 20 == 0) parts = 1 + NextRandom(&rng) % 40;
      if (parts > total - n) parts = static_cast<int>(total - n);
      std::string name = "file" + std::to_string(files++) + ".txt";
      ok = true;
      const uint32_t first = static_cast<uint32_t>(n);
      for (int p = 1; ok && p <= parts; ++p, ++n) {
        ok = Section(area.get(), static_cast<uint32_t>(n), first, &rng, name,
                     p, parts);
      }
    } else {
      ok = Ordinary(area.get(), static_cast<uint32_t>(n), &rng);
      ++n;
    }
    if (!ok) {
      std::fprintf(stderr, "make_area: storing message %ld failed (status %x)\n",
                   n, static_cast<unsigned>(area->status));
      return 1;
    }
  }
  kavel::CloseMessageArea(&area);
  std::printf("%ld messages, %ld posted files\n", total, files);
  return 0;
}
