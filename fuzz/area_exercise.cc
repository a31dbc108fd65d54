#include "area_exercise.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "msgbase/byte_stream.h"
#include "msgbase/message_area.h"
#include "msgbase/message_text.h"

namespace kavel::fuzz {

namespace {

std::string WholeText(MessageArea* area) {
  std::string bytes;
  int32_t size = area->TextSize();
  KAVEL_FUZZ_CHECK(size >= 0);
  bytes.resize(static_cast<size_t>(size));
  area->SetTextPos(0);
  size_t done = 0;
  while (done < bytes.size()) {
    uint16_t n = static_cast<uint16_t>(
        std::min<size_t>(bytes.size() - done, 0x8000));
    area->ReadTextBlock(bytes.data() + done, n);
    done += n;
  }
  return bytes;
}

// The lines of a text that a JAM base keeps as text: kludge lines become
// subfields (INTL, FMPT and TOPT are dropped, the others come back in front
// or at the end) and so do SEEN-BY lines.
std::vector<std::string> JamTextLines(const std::string& bytes) {
  std::unique_ptr<ByteStream> s = NewMemoryStream(0);
  for (size_t at = 0; at < bytes.size(); at += 0x8000) {
    s->Write(bytes.data() + at,
             static_cast<uint16_t>(std::min<size_t>(0x8000, bytes.size() - at)));
  }
  s->Seek(0);
  std::vector<std::string> lines;
  std::string line;
  while (!AtEndOfText(s.get())) {
    ReadTextLine(s.get(), &line, static_cast<size_t>(-1));
    if (!line.empty() && line[0] == '\x01') continue;
    if (line.rfind("SEEN-BY: ", 0) == 0) continue;
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

void ReadWholeArea(MessageArea* area) {
  area->HighestNumber();
  area->MessageCount();
  for (area->GoTo(1); area->IsOnMessage(); area->GoNext()) {
    area->CurrentNumber();
    if (!area->LoadMessage()) continue;
    KAVEL_FUZZ_CHECK(area->TextStream() != nullptr);
    area->FromName();
    area->ToName();
    area->Subject();
    FtnAddress orig, dest;
    area->ReadAddresses(&orig, &dest);
    area->OrigAddress(&orig);
    area->DestAddress(&dest);
    DateTimeRecord dt;
    area->DateWritten(&dt);
    area->DateArrived(&dt);
    for (int bit = 0; bit < 16; ++bit) area->HasAttribute(1u << bit);
    std::string line;
    area->FindKludge("\x01MSGID:", &line);
    area->FindKludgeRaw("\x01PID:", &line, 16);
    area->SetTextPos(0);
    while (!area->AtTextEnd()) {
      int32_t before = area->TextPos();
      area->ReadLine(&line);
      KAVEL_FUZZ_CHECK(line.size() <= 255);
      KAVEL_FUZZ_CHECK(area->TextPos() > before);
    }
    area->ReleaseMessage();
  }
  area->LoadLastRead(0);
  area->LoadLastRead(7);
}

bool StoreAndVerify(MessageArea* area, std::string_view area_id,
                    std::string_view body) {
  if (!area->AddMessage()) return false;
  FtnAddress orig{2, 5020, 1, 5};
  FtnAddress dest{2, 5020, 9999, 0};
  // With a MSGID already there the serial is kept: a new serial per input
  // would grow the set of issued serials, which libFuzzer takes for a leak
  // and answers with a full leak scan after every input.
  area->PutKludge(kKludgeMsgId, "\x01MSGID: 2:5020/1 4b1d0001");
  area->SetOrigAddress(orig, false);
  area->SetDestAddress(dest);
  area->SetFromName("Fuzz Sender");
  area->SetToName("All");
  area->SetSubject("HELLO.TXT (1/1)");
  DateTimeRecord when;
  when.year = 2001;
  when.month = 3;
  when.day = 7;
  when.hour = 21;
  when.minute = 5;
  when.second = 8;
  area->SetDateWritten(when);
  area->SetDateArrived(when);
  area->SetAttribute(0x0100, true);  // Loc
  // The body cut into lines as the composer writes them.
  std::unique_ptr<ByteStream> source = NewMemoryStream(0);
  source->Write(body.data(), static_cast<uint16_t>(
                                 std::min<size_t>(body.size(), 0xFFFF)));
  source->Seek(0);
  std::string line;
  int lines = 0;
  while (!AtEndOfText(source.get()) && lines < 2000) {
    ReadTextLine(source.get(), &line, 0xFFFF);
    area->WriteLineRaw(line);
    ++lines;
  }
  const std::string text = WholeText(area);
  if (!area->StoreMessage()) {
    area->ReleaseMessage();
    return false;
  }
  const int32_t number = area->CurrentNumber();
  area->ReleaseMessage();

  // What StoreMessage said is on disk must be there.
  std::unique_ptr<MessageArea> again;
  KAVEL_FUZZ_CHECK(OpenMessageArea(&again, area_id));
  again->GoToNumber(number);
  KAVEL_FUZZ_CHECK(again->IsOnMessage());
  KAVEL_FUZZ_CHECK(again->LoadMessage());
  KAVEL_FUZZ_CHECK(again->FromName() == "Fuzz Sender");
  KAVEL_FUZZ_CHECK(again->Subject() == "HELLO.TXT (1/1)");
  if (area_id.substr(0, 1) == "J" || area_id.substr(0, 1) == "j") {
    KAVEL_FUZZ_CHECK(JamTextLines(WholeText(again.get())) == JamTextLines(text));
  } else {
    KAVEL_FUZZ_CHECK(WholeText(again.get()) == text);
  }
  again->ReleaseMessage();
  CloseMessageArea(&again);
  return true;
}

}  // namespace kavel::fuzz
