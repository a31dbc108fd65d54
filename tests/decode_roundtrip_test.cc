// Round trips: a text file posted with /ENCODE and decoded with /DECODE
// comes back byte for byte, in every message-base format, with the framing
// lines sent as text or as kludges, and after crashmail has carried the
// posting from a *.MSG echo area into a *.MSG or JAM one, as a network
// would.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "msgbase/byte_stream.h"
#include "msgbase/message_area.h"
#include "support/e2e.h"
#include "support/peers.h"

namespace kavel::e2e {
namespace {

// About 1 MB of text with CR LF line ends: lines of every length from 0 to
// 1000 characters, CP866 letters, tabs and blanks, empty lines and lines
// that begin with "...". No line begins with the framing lines' first
// words ("text.begin", "text.end"), holds a control character other than
// the tab, or is a tosser's control line (SEEN-BY, PATH): those cannot
// survive a posting (see README).
std::string MakeTestFile() {
  static const std::string kAlphabet =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
      ".,;:!?-+*/()[]{}<>\"'@#$%^&=_~|\\`  \t"
      "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8d\x8e\x8f"
      "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9a\x9b\x9c\x9d\x9e\x9f"
      "\xa0\xa1\xa2\xa3\xa4\xa5\xa6\xa7\xa8\xa9\xaa\xab\xac\xad\xae\xaf"
      "\xe0\xe1\xe2\xe3\xe4\xe5\xe6\xe7\xe8\xe9\xea\xeb\xec\xed\xee\xef"
      "\xf0\xf1";
  uint32_t seed = 12345;
  auto next = [&seed]() {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) & 0x7fff;
  };
  std::string file;
  file.reserve(1100000);
  for (int n = 0; file.size() < 1000000; ++n) {
    std::string line;
    const int length = n % 13 == 7 ? 0 : n % 1001;  // every length in turn
    if (n % 17 == 5) line = "...";
    while (static_cast<int>(line.size()) < length) {
      line += kAlphabet[next() % kAlphabet.size()];
    }
    if (line.size() >= 5 && (line[0] == 't' || line[0] == 'T')) line[0] = 'x';
    file += line;
    file += "\r\n";
  }
  return file;
}

struct Format {
  const char* word;
  const char* letter;
};

bool FormatBuiltIn(const Format& format) {
  std::unique_ptr<MessageArea> area;
  return CreateAreaObject(&area, std::string(format.letter) + "/x");
}

TEST(DecodeRoundTripTest, MegabyteFileInEveryFormatTextAndKludgeFraming) {
  const std::string file = MakeTestFile();
  const Format formats[] = {{"Msg", "M"}, {"Squish", "S"}, {"Jam", "J"}};
  for (const Format& format : formats) {
    for (const char* kludge : {"yes", "no"}) {
      SCOPED_TRACE(std::string(format.word) + " USEASKLUDGE " + kludge);
      if (!FormatBuiltIn(format)) continue;
      RunDirectory dir;
      dir.MakeDirectory("bases");
      dir.WriteFile("areas", "EchoArea TRIP " + dir.Join("bases/trip") +
                                 " -b " + format.word + " -a 2:5020/1\n");
      dir.WriteFile("Kavel.cfg", std::string("HPTPATH areas\r\n"
                                             "USEENCODEDSTRINGS yes\r\n"
                                             "USEASKLUDGE ") +
                                     kludge + "\r\nBASETEXTPATH txt\r\n");
      dir.WriteFile("big.txt", file);
      RunResult post = dir.Run({"/ENCODE", "big.txt", "TRIP"});
      ASSERT_EQ(post.out.find("[err]"), std::string::npos) << post.out;
      RunResult decode = dir.Run({"/DECODE", "TRIP"});
      ASSERT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
      EXPECT_TRUE(dir.ReadFile("txt/trip/big.txt") == file)
          << "decoded file differs";
    }
  }
}

// Crashmail scans the *.MSG echo area posted into and tosses the packets
// at the other node into *.MSG or JAM. Its JAM writer keeps every 0x01
// line as a kludge subfield, so framing lines sent as kludges come back
// ahead of the text.
TEST(DecodeRoundTripTest, PostingCarriedOnByCrashmail) {
  if (!HaveCommand("crashmail")) GTEST_SKIP() << "crashmail is not installed";
  std::string file = MakeTestFile();
  file.resize(file.find("\r\n", 100000) + 2);  // about 100 KB, 7 sections
  struct Case {
    const char* kludge;
    const char* type;  // crashmail's base type word
    const char* base;  // the receiving base, below the run directory
  };
  const Case cases[] = {{"no", "MSG", "msg/fooin"},
                        {"yes", "MSG", "msg/fooin"},
                        {"no", "JAM", "jam/ru.linux.relay"},
                        {"yes", "JAM", "jam/ru.linux.relay"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " USEASKLUDGE " + c.kludge);
    RunDirectory dir;
    for (const char* sub :
         {"msg", "jam", "a/in", "a/out", "a/tmp", "a/netmail", "a/bad", "b/in",
          "b/out", "b/tmp", "b/netmail", "b/bad"}) {
      dir.MakeDirectory(sub);
    }
    // Crashmail runs an echo area with the packet tag it knows; we post
    // into it and decode the area that the second system tossed it into.
    dir.WriteFile("areas", "EchoArea FOO " + dir.Join("msg/foo") +
                               " -b Msg -a 2:5020/1\n"
                               "EchoArea FOO.IN " +
                               dir.Join(c.base) + " -b " + c.type +
                               " -a 2:5020/2\n");
    dir.WriteFile("Kavel.cfg",
                  std::string("HPTPATH areas\r\nUSEENCODEDSTRINGS yes\r\n"
                              "BASETEXTPATH txt\r\nUSEASKLUDGE ") +
                      c.kludge + "\r\n");
    dir.WriteFile("news.txt", file);
    ASSERT_EQ(dir.Run({"/ENCODE", "news.txt", "FOO"}).exit_code, 0);

    CrashmailScan scan =
        ScanWithCrashmail(dir.Join("a"), dir.Join("msg/foo"), "FOO");
    ASSERT_TRUE(scan.ok) << scan.log;
    for (const std::string& packet : dir.List("a/tmp")) {
      dir.WriteFile("b/in/" + packet, dir.ReadFile("a/tmp/" + packet));
    }
    // The other node, whose uplink the first one is.
    const std::string b = dir.Join("b");
    auto at = [&b](const std::string& name) {
      return " \"" + b + "/" + name + "\"\n";
    };
    dir.WriteFile(
        "b/cm.prefs",
        "SYSOP \"Sysop\"\nDEFAULTZONE 2\nAKA 2:5020/2\n"
        "NODE 2:5020/1.0 \"\" \"\"\nLOGFILE" +
            at("cm.log") + "INBOUND" + at("in") + "OUTBOUND" + at("out") +
            "TEMPDIR" + at("tmp") + "CREATEPKTDIR" + at("tmp") + "PACKETDIR" +
            at("tmp") + "NETMAIL \"NETMAIL\" 2:5020/2 MSG" + at("netmail") +
            "AREA \"BAD\" 2:5020/2 MSG" + at("bad") + "AREA \"FOO\" 2:5020/2 " +
            c.type + at("../" + std::string(c.base)) + "EXPORT 2:5020/1\n");
    int status = 0;
    const std::string out = Capture(
        "cd '" + b + "' && crashmail SETTINGS cm.prefs TOSS 2>&1", &status);
    ASSERT_EQ(status, 0) << out;

    if (std::string(c.type) == "JAM" && FidonetJamMissing().empty()) {
      // Where the tosser put the end lines: among the kludges or in the
      // text, as they were sent.
      JamDump dump = DumpWithFidonetJam(dir.Join(c.base));
      ASSERT_TRUE(dump.ok) << dump.output;
      ASSERT_EQ(dump.messages.size(), 7u) << dump.output;
      const bool kludge = std::string(c.kludge) == "yes";
      for (const JamDumpMessage& m : dump.messages) {
        const auto& subs = m.subfields;
        EXPECT_EQ(std::count(subs.begin(), subs.end(), "2000 \"text.end\""),
                  kludge ? 1 : 0);
        EXPECT_EQ(m.text.find("\\rtext.end\\r") != std::string::npos, !kludge);
      }
    }
    RunResult decode = dir.Run({"/DECODE", "FOO.IN"});
    EXPECT_EQ(decode.out.find("[err]"), std::string::npos) << decode.out;
    EXPECT_TRUE(dir.ReadFile("txt/foo.in/news.txt") == file)
        << decode.out << dir.ReadFile("b/cm.log");
  }
}

}  // namespace
}  // namespace kavel::e2e
