// Stop requests (SIGINT, SIGTERM) and the process environment.
#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix_env.h"

namespace kavel {
namespace {

volatile std::sig_atomic_t stop_requested = 0;

void RecordStopRequest(int) { stop_requested = 1; }

}  // namespace

void PosixEnv::InstallStopHandlers() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = RecordStopRequest;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool PosixEnv::StopRequested() { return stop_requested != 0; }

void PosixEnv::RequestStop() { stop_requested = 1; }

void PosixEnv::ClearStopRequest() { stop_requested = 0; }

std::string PosixEnv::GetEnvironmentVariable(std::string_view name) {
  const char* value = std::getenv(std::string(name).c_str());
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace kavel
