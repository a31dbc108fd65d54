// Helpers for unit tests that run configuration code against a RunContext:
// a scratch directory that is the current directory for the test, and the
// log messages that an operation writes.
#ifndef KAVEL_DRIVER_CONTEXT_TEST_SUPPORT_H_
#define KAVEL_DRIVER_CONTEXT_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "driver/run_context.h"
#include "platform/env.h"
#include "platform/platform.h"
#include "posting/posting_settings.h"

namespace kavel::testing {

// A fresh RunContext with its PostingJob, run in a scratch directory that
// is the current directory while the test runs.
class ContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_dir_ = std::filesystem::current_path();
    const ::testing::TestInfo* test =
        ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ =
        std::filesystem::temp_directory_path() /
        (std::string("kavel_") + test->test_suite_name() + "_" + test->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    Env::Default()->ForgetPathCache();
    CreatePostingJob(ctx_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_dir_);
    std::filesystem::remove_all(dir_);
    Env::Default()->ForgetPathCache();
  }

  // Writes `content` as it is into the scratch directory; returns the path.
  std::string WriteFile(const std::string& name, const std::string& content) {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << content;
    return (dir_ / name).string();
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

  RunContext ctx_;
  std::filesystem::path dir_;

 private:
  std::filesystem::path old_dir_;
};

}  // namespace kavel::testing

#endif  // KAVEL_DRIVER_CONTEXT_TEST_SUPPORT_H_
