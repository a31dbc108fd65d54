#include "support/posted_messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "msgbase/byte_stream.h"
#include "msgbase/message_area.h"
#include "msgbase/test_support.h"
#include "platform/env.h"
#include "platform/platform.h"

namespace kavel::e2e {

std::string PostedFile(char tag, int lines) {
  std::string text;
  for (int i = 0; i < lines; ++i) {
    std::string line = std::string(1, tag) + " line " + std::to_string(i) + " ";
    line.append(70 - line.size(), static_cast<char>('a' + i % 26));
    text += line + "\r\n";
  }
  return text;
}

TestMessage Section(int part, int total, const std::string& name,
                    const std::vector<std::string>& body) {
  TestMessage m;
  m.lines = {"\x01PID: test", "text.begin " + std::to_string(part) + " of " +
                                  std::to_string(total) + " of file " + name};
  m.lines.insert(m.lines.end(), body.begin(), body.end());
  m.lines.insert(m.lines.end(),
                 {"text.end", "", "--- ", " * Origin: test (2:5020/1)"});
  return m;
}

void StoreMessage(const std::string& area_id, const TestMessage& m) {
  std::unique_ptr<MessageArea> area;
  ASSERT_TRUE(OpenOrCreateMessageArea(&area, area_id)) << area_id;
  ASSERT_TRUE(area->AddMessage());
  area->SetOrigAddress(FtnAddress{2, 5020, 1, 0}, true);
  area->SetFromName(m.from);
  area->SetToName("All");
  area->SetSubject(m.subject);
  area->SetDateWritten(m.written);
  area->SetDateArrived(m.written);
  for (const std::string& line : m.lines) area->WriteLineRaw(line);
  ASSERT_TRUE(area->StoreMessage());
  area->ReleaseMessage();
  CloseMessageArea(&area);
  CurrentEnv()->ForgetPathCache();
}

std::vector<PostedMessage> ReadPostedMessages(const std::string& area_id) {
  std::vector<PostedMessage> messages;
  std::unique_ptr<MessageArea> area;
  if (!OpenMessageArea(&area, area_id)) return messages;
  for (area->GoTo(1); area->IsOnMessage(); area->GoNext()) {
    EXPECT_TRUE(area->LoadMessage());
    PostedMessage m;
    m.number = area->CurrentNumber();
    m.from = area->FromName();
    m.to = area->ToName();
    m.subject = area->Subject();
    area->ReadAddresses(&m.orig, &m.dest);
    area->DateWritten(&m.written);
    m.arrived = m.written;
    area->DateArrived(&m.arrived);
    for (uint32_t bit = 1; bit <= kAttrSca; bit <<= 1) {
      if (area->HasAttribute(bit)) m.attributes |= bit;
    }
    m.text = testing_support::TextOf(area.get());
    static const std::regex kMsgId("\x01MSGID: (\\S+) ([0-9a-f]{8})\r");
    std::smatch match;
    const std::string first = m.text.substr(0, m.text.find('\r') + 1);
    if (std::regex_match(first, match, kMsgId)) {
      m.msgid_address = match[1];
      m.msgid_serial = match[2];
      m.text_after_msgid = m.text.substr(first.size());
    } else {
      m.text_after_msgid = "<no MSGID first>";
    }
    area->ReleaseMessage();
    messages.push_back(std::move(m));
  }
  CloseMessageArea(&area);
  return messages;
}

std::vector<std::string> MessagesOf(const std::vector<std::string>& lines) {
  static const std::regex kDated(
      " \\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)");
  std::vector<std::string> messages;
  for (const std::string& line : lines) {
    std::smatch match;
    if (line == "Made new log file") continue;
    messages.push_back(std::regex_match(line, match, kDated) ? match[1].str()
                                                             : line);
  }
  return messages;
}

}  // namespace kavel::e2e
