// A message area with no base behind it, for tests of the code above the
// formats: every operation answers a fixed "nothing here" (a subject set is
// kept); tests override what they exercise. Test code only.
#ifndef KAVEL_MSGBASE_FAKE_AREA_FOR_TESTING_H_
#define KAVEL_MSGBASE_FAKE_AREA_FOR_TESTING_H_

#include <string>
#include <string_view>

#include "msgbase/message_area.h"

namespace kavel::testing_support {

class FakeAreaBase : public MessageArea {
 public:
  bool OpenArea(std::string_view) override { return isOpen = true; }
  bool CreateArea(std::string_view) override { return isOpen = true; }
  void CloseArea() override { isOpen = false; }
  bool HasMessage(int32_t) override { return false; }
  int32_t CurrentNumber() override { return current; }
  void GoToNumber(int32_t number) override { current = number; }
  bool LoadMessage() override { return false; }
  bool ReleaseMessage() override {
    bool had = text != nullptr;
    text.reset();
    return had;
  }
  int32_t HighestNumber() override { return 0; }
  int32_t MessageCount() override { return 0; }
  std::string FromName() override { return ""; }
  std::string ToName() override { return ""; }
  std::string Subject() override { return subject_; }
  void SetFromName(std::string_view) override {}
  void SetToName(std::string_view) override {}
  void SetSubject(std::string_view s) override { subject_ = s; }
  bool HasAttribute(uint32_t) override { return false; }
  void SetAttribute(uint32_t, bool) override {}
  void DateWritten(DateTimeRecord*) override {}
  void DateArrived(DateTimeRecord*) override {}
  void SetDateWritten(const DateTimeRecord&) override {}
  void SetDateArrived(const DateTimeRecord&) override {}
  bool StoreMessage() override { return true; }
  bool AddMessage() override { return false; }
  bool DeleteMessage() override { return false; }
  int32_t LoadLastRead(int32_t) override { return 0; }
  bool StoreLastRead(int32_t, int32_t) override { return false; }
  bool BaseExists(std::string_view) override { return false; }

 protected:
  std::string subject_;
};

}  // namespace kavel::testing_support

#endif  // KAVEL_MSGBASE_FAKE_AREA_FOR_TESTING_H_
