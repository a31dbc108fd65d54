// Helpers for unit tests that run configuration code against a RunContext:
// a scratch directory that is the current directory for the test, and the
// log messages that an operation writes.
#ifndef KAVEL_CONTEXT_CONTEXT_TEST_SUPPORT_H_
#define KAVEL_CONTEXT_CONTEXT_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "context/run_context.h"
#include "platform/platform.h"
#include "platform/temp_dir_for_testing.h"

namespace kavel::testing {

// A fresh RunContext with an empty PostingJob, run in a scratch directory that
// is the current directory while the test runs.
class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_.path());
    ctx_.postingJob = std::make_unique<PostingJob>();
  }
  void TearDown() override { std::filesystem::current_path(old_dir_); }

  // Writes `content` as it is into the scratch directory; returns the path.
  std::string WriteFile(const std::string& name, const std::string& content) {
    scratch_.WriteFile(name, content);
    return scratch_.Join(name);
  }

  // Runs `action` and returns the log lines it wrote, each without its date
  // and time (error lines keep their "[err] ").
  std::vector<std::string> Logged(const std::function<void()>& action) {
    ::testing::internal::CaptureStdout();
    action();
    std::string out = ::testing::internal::GetCapturedStdout();
    std::vector<std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      // " DD.MM.YY HH:MM:SS " in front of every log line.
      lines.push_back(line.size() >= 19 ? line.substr(19) : line);
    }
    return lines;
  }

  TempDirForTesting scratch_;
  RunContext ctx_;
  std::filesystem::path dir_ = scratch_.path();

 private:
  std::filesystem::path old_dir_;
};

}  // namespace kavel::testing

#endif  // KAVEL_CONTEXT_CONTEXT_TEST_SUPPORT_H_
