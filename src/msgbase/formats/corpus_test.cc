// Bases written by independent programs (the interop corpus), in every
// format: each message loads as an independent reader shows it (the smapi
// dumps beside the bases), reading leaves the files as they were, and a
// message appended to a copy leaves the others intact.
//
// A dump is a sequence of blocks:
//   message 1 uid=2 textlen=173 ctrllen=61
//     from          "Ivan Petrov"
//     orig          2:5020/1.0
//     ftsc_date     "06 Dec 26  19:54:32"
//     attr          0x00000008 Sent
//     kludge        ^AMSGID: 2:5020/1 4b1d0001
//     text          (172 bytes before the first NUL)
//       | Hello, All!\n
// with \xNN for a byte, ^A for 0x01 and \n for the CR that ends a line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "msgbase/formats/msg_area.h"
#include "msgbase/formats/squish_checker_for_testing.h"
#include "msgbase/message_area.h"
#include "msgbase/test_support.h"
#include "platform/env.h"

namespace kavel {
namespace {

using testing_support::CorpusDir;
using testing_support::DirectorySnapshot;
using testing_support::TextOf;

struct Dumped {
  int32_t uid = 0;
  uint32_t attributes = 0;
  std::string from, to, subject, orig, dest, ftsDate;
  std::string text;  // kludge lines, then the text proper
};

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s.compare(i, 2, "\\x") == 0) {
      out.push_back(
          static_cast<char>(std::stoi(s.substr(i + 2, 2), nullptr, 16)));
      i += 3;
    } else if (s.compare(i, 2, "\\n") == 0 || s.compare(i, 2, "^A") == 0) {
      out.push_back(s[i] == '^' ? '\x01' : '\r');
      ++i;
    } else {
      out.push_back(s[i]);
    }
  }
  return out;
}

// `skip_address_kludges`: smapi makes INTL and FMPT lines from JAM's
// address subfields; a loaded JAM message presents only stored kludges.
std::vector<Dumped> ReadDump(const std::string& path,
                             bool skip_address_kludges) {
  std::ifstream in(path);
  std::vector<Dumped> out;
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("message ", 0) == 0) {
      out.emplace_back();
      out.back().uid = std::atoi(line.c_str() + line.find("uid=") + 4);
      continue;
    }
    if (out.empty()) continue;
    Dumped& m = out.back();
    if (line.rfind("    | ", 0) == 0) {
      m.text += Unescape(line.substr(6));
      continue;
    }
    std::istringstream words(line);
    std::string key, value;
    if (!std::getline(words >> key >> std::ws, value)) continue;
    if (value.front() == '"') value = value.substr(1, value.size() - 2);
    value = Unescape(value);
    const std::pair<const char*, std::string*> fields[] = {
        {"from", &m.from}, {"to", &m.to},     {"subject", &m.subject},
        {"orig", &m.orig}, {"dest", &m.dest}, {"ftsc_date", &m.ftsDate}};
    for (const auto& [name, field] : fields) {
      if (key == name) *field = value;
    }
    if (key == "attr") m.attributes = std::stoul(value, nullptr, 16);
    const bool address_kludge =
        value.compare(1, 4, "INTL") == 0 || value.compare(1, 4, "FMPT") == 0;
    if (key == "kludge" && !(skip_address_kludges && address_kludge)) {
      m.text += value + "\r";
    }
  }
  return out;
}

struct CorpusBase {
  char letter;
  const char* subdir;
  const char* name;
};

class CorpusTest : public ::testing::TestWithParam<CorpusBase> {
 protected:
  void SetUp() override {
    const CorpusBase& b = GetParam();
    dir_ = tmp_.Join(b.subdir);
    std::filesystem::copy(CorpusDir() + "/" + b.subdir, dir_,
                          std::filesystem::copy_options::recursive);
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_)) {
      std::filesystem::permissions(e.path(),
                                   std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add);
    }
    CurrentEnv()->ForgetPathCache();
    id_ = std::string(1, b.letter) + dir_ + "/" + b.name;
    dumped_ = ReadDump(
        CorpusDir() + "/dumps/" + b.subdir + "-" + b.name + ".smapi-dump.txt",
        b.letter == 'J');
    ASSERT_GE(dumped_.size(), 2u);
  }

  // Every dumped message, loaded in walk order from the start of `area`.
  void ExpectDumped(MessageArea* area) {
    const bool netmail = std::string(GetParam().name) == "netmail";
    area->GoTo(1);
    for (const Dumped& want : dumped_) {
      SCOPED_TRACE("uid " + std::to_string(want.uid));
      ASSERT_TRUE(area->IsOnMessage());
      EXPECT_EQ(area->CurrentNumber(), want.uid);
      ASSERT_TRUE(area->LoadMessage());
      EXPECT_EQ(area->FromName() + "|" + area->ToName() + "|" + area->Subject(),
                want.from + "|" + want.to + "|" + want.subject);
      EXPECT_EQ(
          8u * area->HasAttribute(kAttrSnt) + area->HasAttribute(kAttrPvt),
          want.attributes & 9);
      DateTimeRecord written;
      area->DateWritten(&written);
      EXPECT_EQ(FormatMsgDate(written), want.ftsDate);
      if (netmail) {  // Squish has no destination kludge to read
        FtnAddress orig, dest;
        area->ReadAddresses(&orig, &dest);
        EXPECT_EQ(AddressToText4D(orig), want.orig);
        if (GetParam().letter != 'S') {
          EXPECT_EQ(AddressToText4D(dest), want.dest);
        }
      }
      EXPECT_EQ(TextOf(area), want.text);
      area->ReleaseMessage();
      area->GoNext();
    }
  }

  TempDirForTesting tmp_;
  std::string dir_, id_;
  std::vector<Dumped> dumped_;
};

TEST_P(CorpusTest, LoadsAsTheOtherReaderAndWritesNothing) {
  const std::string files =
      dir_ +
      (GetParam().letter == 'M' ? "/" + std::string(GetParam().name) : "");
  const auto before = DirectorySnapshot(files);
  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenMessageArea(&area, id_));
  EXPECT_EQ(area->MessageCount(), static_cast<int32_t>(dumped_.size()));
  ExpectDumped(area.get());
  EXPECT_FALSE(area->IsOnMessage());
  ASSERT_TRUE(CloseMessageArea(&area));
  EXPECT_EQ(DirectorySnapshot(files), before);
}

TEST_P(CorpusTest, AppendingKeepsTheOtherMessages) {
  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenMessageArea(&area, id_));
  const int32_t highest = area->HighestNumber();
  ASSERT_TRUE(area->AddMessage());
  area->SetFromName("Kavel");
  area->SetToName("All");
  ASSERT_TRUE(area->WriteLine("\x01MSGID: 2:5020/1 00000042"));
  ASSERT_TRUE(area->WriteLine("Appended text"));
  ASSERT_TRUE(area->StoreMessage());
  ASSERT_TRUE(CloseMessageArea(&area));
  if (GetParam().letter == 'S') {
    EXPECT_EQ(CheckSquishBase(id_.substr(1) + ".sqd", id_.substr(1) + ".sqi"),
              "");
  }

  ASSERT_TRUE(OpenMessageArea(&area, id_));
  EXPECT_EQ(area->MessageCount(), static_cast<int32_t>(dumped_.size() + 1));
  ExpectDumped(area.get());
  ASSERT_TRUE(area->IsOnMessage());
  EXPECT_EQ(area->CurrentNumber(), highest + 1);
  ASSERT_TRUE(area->LoadMessage());
  EXPECT_EQ(area->FromName(), "Kavel");
  EXPECT_EQ(TextOf(area.get()),
            "\x01MSGID: 2:5020/1 00000042\rAppended text\r");
  ASSERT_TRUE(CloseMessageArea(&area));
}

INSTANTIATE_TEST_SUITE_P(Bases, CorpusTest,
                         ::testing::Values(CorpusBase{'S', "squish", "echo"},
                                           CorpusBase{'S', "squish", "netmail"},
                                           CorpusBase{'J', "jam", "echo"},
                                           CorpusBase{'J', "jam", "netmail"},
                                           CorpusBase{'J', "jam-smapi", "echo"},
                                           CorpusBase{'J', "jam-stock", "echo"},
                                           CorpusBase{'M', "msg", "echo"},
                                           CorpusBase{'M', "msg", "netmail"}),
                         [](const ::testing::TestParamInfo<CorpusBase>& info) {
                           std::string name = std::string(info.param.subdir) +
                                              "_" + info.param.name;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
}  // namespace kavel
