// Constructors of the stored formats, as the area factory reaches them.
//
// Contract: each function returns a new, closed area object of its format
// for the base at `path` (the area id without its type letter), or null
// when the format is not built into this program. Each format's own
// source file defines its function. Until a format is built in, its
// definition lives in a stub file (formats/<format>_factory_stub.cc) that
// returns null; the format's implementation deletes that stub file when it
// defines the function itself.
#ifndef KAVEL_MSGBASE_FORMATS_FORMATS_H_
#define KAVEL_MSGBASE_FORMATS_FORMATS_H_

#include <memory>
#include <string_view>

namespace kavel {

class MessageArea;

std::unique_ptr<MessageArea> NewMsgArea(std::string_view path);     // msg_area.cc
std::unique_ptr<MessageArea> NewSquishArea(std::string_view path);  // squish_area.cc
std::unique_ptr<MessageArea> NewJamArea(std::string_view path);     // jam_area.cc

}  // namespace kavel

#endif  // KAVEL_MSGBASE_FORMATS_FORMATS_H_
