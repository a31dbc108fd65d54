#include "areacfg/area_options.h"

#include <gtest/gtest.h>

#include <string>

namespace kavel {
namespace {

struct OptionCase {
  const char* items;
  char type;
  bool passthrough;
  const char* aka;
  const char* description;
  size_t notes;
  bool defaults = false;
};

TEST(AreaOptionsTest, ItemsInAnyOrder) {
  const OptionCase cases[] = {
      // Options after links; every value of a value option looks like a
      // link or an option and is consumed.
      {"2:5020/1 -r -d \"Foo  talk\" -b Jam -a 2:5020/1.5", 'J', false,
       "2:5020/1.5", "Foo talk", 0},
      {"-lr -b -lw 2:1/1 -p 7 -$m 9 -dupeHistory 1 -dupeCheck move -g A "
       "-scan manual -tooOld 3 -tooNew 4 -sbadd(2:1/1) 2:5020/1 -def -b msg",
       'M', false, "", "", 0},
      // -pass wins over a -b before and after it.
      {"-b Jam -pass -b Squish", 'J', true, "", "", 0},
      // Unknown options and stray words are noted; a bad -b leaves no type.
      {"-hide2 word -b Hudson -a 2:5020/1x -d One two", 0, false, "2:5020/1x",
       "One", 5},
      // On a defaults line "passthrough" is a word of its own.
      {"-b Jam passthrough", 'J', true, "", "", 0, true},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.items);
    AreaOptions options;
    AreaNotes notes;
    ParseAreaOptions(SplitAreaWords(c.items), 0, c.defaults, &options, &notes);
    EXPECT_EQ(options.type, c.type);
    EXPECT_EQ(options.passthrough, c.passthrough);
    EXPECT_EQ(options.akaText, c.aka);
    EXPECT_EQ(options.description, c.description);
    EXPECT_EQ(notes.size(), c.notes);
  }
}

}  // namespace
}  // namespace kavel
