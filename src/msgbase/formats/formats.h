// Constructors of the stored formats, as the area factory reaches them:
// each returns a new, closed area object of its format for the base at
// `path` (the area id without its type letter). Each format's own source
// file defines its function.
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
