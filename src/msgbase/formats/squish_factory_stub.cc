// Placeholder until the Squish format is built in (see formats.h).
#include "msgbase/formats/formats.h"
#include "msgbase/message_area.h"

namespace kavel {

std::unique_ptr<MessageArea> NewSquishArea(std::string_view) { return nullptr; }

}  // namespace kavel
