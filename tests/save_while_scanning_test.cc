// SAVEWHILESCANNING seen from outside: a Squish or JAM area decoded with
// the sets saved during the scan gives the files, the file list, the
// forwards, the console and the log of a decoding without it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.h"
#include "support/posted_messages.h"

namespace kavel::e2e {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

// A section of a posting whose subject is the file name, written at
// `hour` (two hours apart: two postings).
TestMessage Posted(int part, int total, const std::string& name,
                   const Strings& body, int hour = 21) {
  TestMessage m = Section(part, total, name, body);
  m.written.hour = hour;
  m.subject = name;
  return m;
}

// Everything two decodings of the area write, the console included.
// Without DECODEUUE the scan keeps the sections of the sets it hands over.
std::string DecodeTwice(RunDirectory& dir, bool meanwhile, bool uue) {
  fs::remove_all(dir.Join("txt"));
  fs::remove_all(dir.Join("fwd"));
  fs::remove(dir.Join("Kavel.log"));
  dir.WriteConfig(
      {"BASETEXTPATH txt", "BASEFWDPATH fwd", "WHATDOWITHEXISTFILE New",
       "FILESBBSNAME files.bbs", "FILESBBSSAVINGSTRING \"@File|@Subject\"",
       uue ? "DECODEUUE Yes" : "DECODEUUE No",
       "FORWARDMARKER FORWARDED End of forward",
       meanwhile ? "SAVEWHILESCANNING Yes" : "SAVEWHILESCANNING No"});
  std::string all;
  for (int run = 0; run < 2; ++run) {
    const RunResult result = dir.Run({"/DECODE", "MIXED"});
    all.append("exit ").append(std::to_string(result.exit_code));
    all.append("\n").append(result.out);
  }
  all.append("log\n").append(dir.ReadFile("Kavel.log"));
  for (const char* dir_name : {"txt", "fwd"}) {
    for (const std::string& file : dir.FilesBelow(dir_name))
      all.append(file).append("\n").append(dir.ReadFile(file));
  }
  return all;
}

class SaveWhileScanningTest : public ::testing::TestWithParam<const char*> {
 protected:
  RunDirectory dir_;
};

// Sets that complete in order, ones held back behind a set that never
// completes, one name posted twice, a uuencoded file, a set without
// lines, a forward, and a refused name in the last message (its line must
// come before every saving line). The sections before the gap are more
// than the scan keeps for the saving thread at once, and those after it
// more than it keeps for sets that wait.
TEST_P(SaveWhileScanningTest, FilesAndLogAsWithout) {
  const std::string id = dir_.AddArea("MIXED", GetParam());
  StoreMessage(id, Posted(1, 1, "twin.txt", {"first twin"}));
  for (int i = 0; i < 60; ++i) {
    const std::string name = "f" + std::to_string(i).append(".txt");
    const int parts = i % 3 + 1;
    for (int part = 1; part <= parts; ++part) {
      Strings body;
      for (int line = 0; line < 220; ++line) {
        body.push_back(name + " part " + std::to_string(part) + " line " +
                       std::to_string(line) + std::string(50, '.'));
      }
      body.emplace_back();
      StoreMessage(id, Posted(part, parts, name, body));
    }
    if (i == 30) StoreMessage(id, Posted(1, 2, "gap.txt", {"half"}));
  }
  StoreMessage(
      id, Posted(1, 1, "bin.txt", {"begin 644 bin.dat", "#:&D*", "`", "end"}));
  StoreMessage(id, Posted(1, 1, "nil.txt", {}));
  StoreMessage(id, {{"* Forwarded by Bob", "", "body", "end of forward"}});
  StoreMessage(id, Posted(1, 1, "twin.txt", {"second twin"}, 23));
  // Chat that the scan reads while the sets before it are being saved
  // (and enough messages for a second thread to pay).
  const TestMessage chat{Strings(150, std::string(70, 'c'))};
  for (int i = 0; i < 130; ++i) StoreMessage(id, chat);
  StoreMessage(id, Posted(1, 1, "../evil.txt", {"x"}));

  for (const bool uue : {true, false}) {
    const std::string without = DecodeTwice(dir_, false, uue);
    EXPECT_NE(without.find("'../EVIL.TXT' in message"), std::string::npos);
    EXPECT_NE(without.find("txt/mixed/twin1.txt\nsecond twin"),
              std::string::npos);
    EXPECT_EQ(without.find("txt/mixed/bin.dat\nhi\n") != std::string::npos,
              uue);
    // Shown from just before the first difference (a diff of the whole
    // would take more memory than the test may).
    const std::string with = DecodeTwice(dir_, true, uue);
    const size_t at = static_cast<size_t>(
        std::mismatch(with.begin(), with.end(), without.begin(), without.end())
            .first -
        with.begin());
    const size_t from = at > 200 ? at - 200 : 0;
    EXPECT_EQ(with.substr(from, 400), without.substr(from, 400))
        << "DECODEUUE " << uue << ", first difference at byte " << at;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, SaveWhileScanningTest,
                         ::testing::Values("Squish", "Jam"));

}  // namespace
}  // namespace kavel::e2e
