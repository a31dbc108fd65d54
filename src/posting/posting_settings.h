// Creating the PostingJob with its defaults, and reading the posting and
// encoding keywords of the common part of Kavel.cfg.
#ifndef KAVEL_POSTING_POSTING_SETTINGS_H_
#define KAVEL_POSTING_POSTING_SETTINGS_H_

#include <cstdint>
#include <string_view>

#include "msgbase/ftn_address.h"

namespace kavel {

struct RunContext;

// Allocates the context's PostingJob (area fields empty) and fills every
// posting and encoding default.
void CreatePostingJob(RunContext& ctx);

// From Sysop to All, no subject, attributes {Loc}, origin "Autoposted
// message", addresses 0:0/0.0, the encoding defaults, WHEN DAILY.
void SetPostingDefaults(RunContext& ctx);

// Offers one line of the common part to every posting and encoding keyword,
// the second names included (BEGINSTRING, ENDSTRING, USEENCODEDSTRINGS).
// Lines that hold no such keyword change nothing.
void ReadPostingKeyword(RunContext& ctx, std::string_view line);

// When FirstWord(line) is `keyword`, parses RestOfLine(line) into *address
// (forms naming fewer components change only those). A value that is no
// address writes "Error converting <value>" and leaves *address as it was.
// Answers true when the line was for this keyword.
bool ReadAddressSetting(RunContext& ctx, FtnAddress* address,
                        std::string_view line, std::string_view keyword);

// The set of generic attribute codes named by the blank-separated words of
// `text` ("Pvt" ... "Sca", case ignored); other words are ignored.
uint32_t ParseAttributeList(std::string_view text);
// Adds the code of one attribute name to *set; answers false (set
// unchanged) when the word names no attribute.
bool AttributeFromName(uint32_t* set, std::string_view word);

// The WHEN rule. "DAILY" gives yes; "YEARLY", "MOUNTHLY" (also spelled
// "MONTHLY") and "WEEKLY" followed by numbers give yes when one of them is
// today's year, day of the month or day of the week (1 = Monday ... 7 =
// Sunday), no otherwise; any other value leaves *runToday unchanged.
void EvaluateWhen(std::string_view text, bool* runToday);

}  // namespace kavel

#endif  // KAVEL_POSTING_POSTING_SETTINGS_H_
