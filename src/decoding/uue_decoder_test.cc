#include "decoding/uue_decoder.h"

#include <gtest/gtest.h>

#include <string>

#include "posting/uue_reader.h"

namespace kavel {
namespace {

TEST(UueDecoderTest, EveryLengthAndByteValueComesBack) {
  std::string all;
  for (int i = 0; i < 256 * 3; ++i) all.push_back(static_cast<char>(i));
  for (size_t n = 0; n <= 100; ++n) {
    const std::string bytes = all.substr(n, n);
    UueDecoder decoder;
    std::string out;
    ASSERT_TRUE(decoder.Line("begin 644 x", &out));
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t at = 0; at < n; at += kUueLineBytes) {
      std::string line;
      EncodeUueLine(data + at, std::min(kUueLineBytes, n - at), &line);
      ASSERT_TRUE(IsUueDataLine(line)) << line;
      ASSERT_TRUE(decoder.Line(line, &out)) << decoder.ProblemText();
    }
    ASSERT_TRUE(decoder.Line("`", &out));
    ASSERT_TRUE(decoder.Line("end", &out));
    EXPECT_TRUE(decoder.Finish());
    EXPECT_EQ(out, bytes);
  }
}

TEST(UueDecoderTest, LinesThatAreNoPartOfABlock) {
  struct Case {
    const char* line;
    UueDecoder::Problem problem;
  } cases[] = {
      {"#86)C", UueDecoder::Problem::kNone},       // "abc", exact
      {"#86)CX", UueDecoder::Problem::kNone},      // one check character
      {"#86)", UueDecoder::Problem::kBadLength},   // short
      {"#86)CXY", UueDecoder::Problem::kBadLength},
      {"#86)c", UueDecoder::Problem::kBadCharacter},
      {"--- ", UueDecoder::Problem::kBadLength},   // a tear line
  };
  for (const Case& c : cases) {
    UueDecoder decoder;
    std::string out;
    decoder.Line("begin 600 x", &out);
    decoder.Line(c.line, &out);
    EXPECT_EQ(decoder.problem(), c.problem) << c.line;
  }
  std::string name;
  EXPECT_TRUE(ParseUueBeginLine("begin 0777  my file.bin \r", &name));
  EXPECT_EQ(name, "my file.bin");
  EXPECT_FALSE(ParseUueBeginLine("begin 648 x", &name));
  EXPECT_FALSE(ParseUueBeginLine("begin 644", &name));
  PartNumbering n;
  std::string rest;
  EXPECT_TRUE(ParseSubjectNumbering("pics.zip [2/12]", 4096, &n, &rest));
  EXPECT_EQ(n.part * 100 + n.total, 212);
  EXPECT_EQ(rest, "pics.zip");
  EXPECT_FALSE(ParseSubjectNumbering("(3/2) x", 4096, &n, &rest));
  EXPECT_TRUE(ParseSectionLine("Section 3 of 4 of file a.zip  < x >", 4096, &n));
  EXPECT_EQ(n.fileName, "a.zip");
}

}  // namespace
}  // namespace kavel
