// Kavel: posts text files into FTN message areas and decodes them back.
#include <string_view>
#include <vector>

#include "driver/run.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  kavel::InstallStopHandlers();
  std::vector<std::string_view> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  return kavel::RunKavel(arguments);
}
