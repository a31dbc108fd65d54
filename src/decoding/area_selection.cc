#include "decoding/area_selection.h"

#include <string>
#include <vector>

#include "areacfg/area_options.h"
#include "decoding/decoding_settings.h"
#include "util/text.h"

namespace kavel {

bool AreaSelected(const DecodingSettings& settings, std::string_view tag,
                  std::string_view kind) {
  for (std::string_view skipped : SplitAreaWords(settings.skipKinds)) {
    if (EqualIgnoringCase(skipped, kind)) return false;
  }
  std::vector<std::string_view> masks = SplitAreaWords(settings.decodeAreas);
  bool selected = true;
  for (std::string_view mask : masks) {
    if (mask.front() != '!') selected = false;
  }
  for (std::string_view mask : masks) {
    const bool leave_out = mask.front() == '!';
    if (leave_out) mask.remove_prefix(1);
    if (MaskMatchesIgnoringCase(tag, mask)) selected = !leave_out;
  }
  return selected;
}

}  // namespace kavel
