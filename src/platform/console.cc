// Console output, the pending-key test and cursor positioning on Linux.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/cp866.h"
#include "platform/platform.h"
#include "platform/posix_env.h"
#include "util/case_fold.h"

namespace kavel {
namespace {

bool TerminalIsUtf8() {
  static const bool utf8 =
      isatty(STDOUT_FILENO) == 1 && platform_internal::LocaleIsUtf8();
  return utf8;
}

// Appends text as it goes to stdout. A UTF-8 terminal shows a line that
// is valid UTF-8 as it is and every other line converted from CP866;
// anything else gets the bytes unchanged.
void AddOut(std::string_view text, std::string* out) {
  if (TerminalIsUtf8() && !IsUtf8Name(text)) {
    out->append(platform_internal::Cp866ToUtf8(text));
  } else {
    out->append(text);
  }
}

void WriteOut(std::string_view out) {
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

void WriteOut(std::string_view text, bool newline) {
  std::string out;
  AddOut(text, &out);
  if (newline) out.push_back('\n');
  WriteOut(out);
}

}  // namespace

void PosixEnv::ConsoleWriteLine(std::string_view text) { WriteOut(text, true); }

void PosixEnv::ConsoleWriteLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    AddOut(line, &out);
    out.push_back('\n');
  }
  WriteOut(out);
}

void PosixEnv::ConsoleWrite(std::string_view text) {
  if (ConsoleIsTerminal()) WriteOut(text, false);
}

bool PosixEnv::ConsoleIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

bool PosixEnv::ConsoleIsUtf8() { return TerminalIsUtf8(); }

bool PosixEnv::ConsoleKeyPressed() {
  if (isatty(STDIN_FILENO) != 1) return false;
  // A canonical terminal holds typed keys back until Enter; leaving
  // canonical mode for the test makes them visible without consuming them.
  struct termios saved;
  bool switched = false;
  if (tcgetattr(STDIN_FILENO, &saved) == 0 && (saved.c_lflag & ICANON)) {
    struct termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~ICANON);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    switched = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  struct pollfd fd = {STDIN_FILENO, POLLIN, 0};
  bool pending = poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN);
  if (switched) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
  return pending;
}

bool PosixEnv::ConsoleGetCursor(int* row, int* column) {
  if (!ConsoleIsTerminal()) return false;
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return false;
  struct termios saved;
  if (tcgetattr(tty, &saved) != 0) {
    close(tty);
    return false;
  }
  struct termios raw = saved;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  raw.c_cc[VMIN] = 0;
  raw.c_cc[VTIME] = 0;
  tcsetattr(tty, TCSANOW, &raw);
  std::fflush(stdout);
  bool ok = false;
  if (write(tty, "\x1b[6n", 4) == 4) {
    // The answer is ESC [ row ; column R.
    std::string answer;
    struct pollfd fd = {tty, POLLIN, 0};
    while (answer.size() < 32 && poll(&fd, 1, 200) == 1) {
      char c;
      if (read(tty, &c, 1) != 1) break;
      answer.push_back(c);
      if (c == 'R') break;
    }
    size_t start = answer.find("\x1b[");
    if (start != std::string::npos &&
        std::sscanf(answer.c_str() + start, "\x1b[%d;%dR", row, column) == 2) {
      ok = true;
    }
  }
  tcsetattr(tty, TCSANOW, &saved);
  close(tty);
  return ok;
}

void PosixEnv::ConsoleSetCursor(int row, int column) {
  if (!ConsoleIsTerminal()) return;
  char text[32];
  std::snprintf(text, sizeof text, "\x1b[%d;%dH", row, column);
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace kavel
