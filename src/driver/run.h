// One run of the program, from the creation of the run context to the
// closing of the log.
#ifndef KAVEL_DRIVER_RUN_H_
#define KAVEL_DRIVER_RUN_H_

#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// The command line: a blank and the argument for each argument in turn, cut
// at 255 characters (empty when there are no arguments).
std::string JoinCommandLine(const std::vector<std::string_view>& arguments);

// Writes the four lines of the usage text to standard output.
void PrintUsage();

// Writes the meaning of the exit codes under ERRORLEVEL (after the usage
// text of --help).
void PrintExitCodes();

// Writes the program name and version ("kavel 0.1.0") to standard output.
void PrintVersion();

// Runs the program with `arguments` (without the program name), in the
// current directory. Answers the exit code: 0, or with ERRORLEVEL set the
// run's worst failure (RunFailure). A first argument "--version" or
// "--help" prints the version or the usage text and the exit codes and
// ends at once with 0, without opening the log or reading the
// configuration. With ERRORLEVEL an unknown command word is an error line.
int RunKavel(const std::vector<std::string_view>& arguments);

}  // namespace kavel

#endif  // KAVEL_DRIVER_RUN_H_
