// The floor of "is there anything new?" for the /ALL benchmark with
// DECODENEWONLY: opens every area named on the command line through the
// program's own message-area code (which reads the base header and index),
// asks for its highest number, and closes it.
//
//   read_headers <area id>...
//
// Prints the sum of the highest numbers; exit status 0 when every area
// opened.
#include <cstdio>
#include <memory>
#include <string>

#include "msgbase/byte_stream.h"
#include "msgbase/message_area.h"

int main(int argc, char** argv) {
  long long highest = 0;
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    std::unique_ptr<kavel::MessageArea> area;
    if (!kavel::OpenMessageArea(&area, argv[i])) {
      std::fprintf(stderr, "cannot open %s\n", argv[i]);
      status = 1;
      continue;
    }
    highest += area->HighestNumber();
    kavel::CloseMessageArea(&area);
  }
  std::printf("%lld\n", highest);
  return status;
}
