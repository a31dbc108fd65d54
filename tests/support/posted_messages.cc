#include "support/posted_messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

#include "msgbase/byte_stream.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"

namespace kavel::e2e {

bool PostedMessage::HasKludge(std::string_view start) const {
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\r', at);
    if (end == std::string::npos) end = text.size();
    if (std::string_view(text).substr(at, end - at).substr(0, start.size()) ==
        start) {
      return true;
    }
    at = end + 1;
  }
  return false;
}

std::vector<PostedMessage> ReadPostedMessages(const std::string& area_id) {
  std::vector<PostedMessage> messages;
  std::unique_ptr<MessageArea> area;
  if (!OpenMessageArea(&area, area_id)) return messages;
  area->GoTo(1);
  while (area->IsOnMessage()) {
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
    ByteStream* text = area->TextStream();
    m.text.resize(static_cast<size_t>(text->Size()));
    text->Seek(0);
    for (size_t done = 0; done < m.text.size();) {
      uint16_t piece =
          static_cast<uint16_t>(std::min<size_t>(m.text.size() - done, 4096));
      text->Read(m.text.data() + done, piece);
      done += piece;
    }
    static const std::regex kMsgId("\x01MSGID: (\\S+) ([0-9a-f]{8})\r");
    std::smatch match;
    size_t first_end = m.text.find('\r');
    std::string first = first_end == std::string::npos
                            ? m.text
                            : m.text.substr(0, first_end + 1);
    if (std::regex_match(first, match, kMsgId)) {
      m.msgid_address = match[1];
      m.msgid_serial = match[2];
      m.text_after_msgid = m.text.substr(first.size());
    } else {
      m.text_after_msgid = "<no MSGID first>";
    }
    area->ReleaseMessage();
    messages.push_back(std::move(m));
    area->GoNext();
  }
  CloseMessageArea(&area);
  return messages;
}

std::vector<std::string> MessagesOf(const std::vector<std::string>& lines) {
  static const std::regex kDated(" \\d\\d\\.\\d\\d\\.\\d\\d \\d\\d:\\d\\d:\\d\\d (.*)");
  std::vector<std::string> messages;
  for (const std::string& line : lines) {
    if (line == "Made new log file") continue;
    std::smatch match;
    if (std::regex_match(line, match, kDated)) {
      messages.push_back(match[1]);
    } else {
      messages.push_back(line);
    }
  }
  return messages;
}

void ExpectPostingTime(const PostedMessage& m) {
  EXPECT_EQ(m.written.year, 2001);
  EXPECT_EQ(m.written.month, 3);
  EXPECT_EQ(m.written.day, 7);
  EXPECT_EQ(m.written.hour, 21);
  EXPECT_EQ(m.written.minute, 5);
  EXPECT_GE(m.written.second, 8);  // two-second resolution rounds down
  EXPECT_LE(m.written.second, 20);
  DateTimeRecord a = m.arrived, w = m.written;
  a.hundredth = w.hundredth = 0;
  EXPECT_EQ(a, w);
}

}  // namespace kavel::e2e
