// What every message-base target does with an area opened on fuzzed files:
// the reading the decoder does, and one message stored and read back.
#ifndef KAVEL_FUZZ_AREA_EXERCISE_H_
#define KAVEL_FUZZ_AREA_EXERCISE_H_

#include <string>
#include <string_view>

namespace kavel {
class MessageArea;
}

namespace kavel::fuzz {

// Walks the area from GoTo(1) to the end as the area scan does, loading
// every message and reading its header, addresses, dates, attributes,
// kludges and every line. Checks that each line read moves the text
// position on.
void ReadWholeArea(MessageArea* area);

// Adds a message whose text is `body` cut into lines (kludge lines and
// all), stores it and, when StoreMessage answered yes, opens the base again
// by `area_id` and checks that the message at the stored number holds the
// same header and text. Answers whether the store answered yes.
bool StoreAndVerify(MessageArea* area, std::string_view area_id,
                    std::string_view body);

}  // namespace kavel::fuzz

#endif  // KAVEL_FUZZ_AREA_EXERCISE_H_
