// End-to-end test support for posting: the messages a run stored in an
// area, read back through the message-area interface, and the messages of
// the run's console lines.
#ifndef KAVEL_TESTS_SUPPORT_POSTED_MESSAGES_H_
#define KAVEL_TESTS_SUPPORT_POSTED_MESSAGES_H_

#include <cstdint>
#include <string>
#include <vector>

#include "msgbase/date_time.h"
#include "msgbase/ftn_address.h"

namespace kavel::e2e {

struct PostedMessage {
  int32_t number = 0;  // CurrentNumber
  std::string from, to, subject;
  FtnAddress orig, dest;  // ReadAddresses
  // DateArrived is read into a copy of DateWritten (*.MSG keeps no
  // arrival date and leaves the copy as it is).
  DateTimeRecord written, arrived;
  uint32_t attributes = 0;  // the generic codes HasAttribute answers yes to
  std::string text;         // the whole text, kludge lines included
  // From the first line when it is a MSGID kludge with an eight-digit
  // serial ("" otherwise), and the text after that line ("<no MSGID
  // first>" otherwise).
  std::string msgid_address, msgid_serial, text_after_msgid;
};

// A message for a test to store: header fields and raw text lines.
struct TestMessage {
  std::vector<std::string> lines;
  DateTimeRecord written{21, 0, 0, 0, 7, 3, 2001};
  std::string from = "John Doe";
  std::string subject = "Files";
};

// A text file of `lines` lines of 72 bytes each, distinct per tag; 228
// lines make one section of a posting.
std::string PostedFile(char tag, int lines);

// A posted section as the poster frames it: a PID kludge, the begin line,
// `body`, the end line and the posting's tail.
TestMessage Section(int part, int total, const std::string& name,
                    const std::vector<std::string>& body);

// Stores `m` to "All" from 2:5020/1 in the area with that id, created when
// missing; both dates are `m.written`.
void StoreMessage(const std::string& area_id, const TestMessage& m);

// Every message of the area with that id, in number order. Empty when the
// area cannot be opened.
std::vector<PostedMessage> ReadPostedMessages(const std::string& area_id);

// The messages of console lines " DD.MM.YY HH:MM:SS message" (lines
// without that prefix stay whole; "Made new log file" is dropped).
std::vector<std::string> MessagesOf(const std::vector<std::string>& lines);

}  // namespace kavel::e2e

#endif  // KAVEL_TESTS_SUPPORT_POSTED_MESSAGES_H_
