#include "posting/uue_reader.h"

#include <vector>

#include "platform/platform.h"
#include "util/uue_line.h"

namespace kavel {
namespace {

constexpr size_t kReadBlock = 64 * 1024 - (64 * 1024) % kUueLineBytes;

class UueReader : public TextReader {
 public:
  UueReader(std::unique_ptr<PlatformFile> file, std::string_view name)
      : file_(std::move(file)), name_(name), buffer_(kReadBlock) {}

  bool ReadLine(std::string* line) override {
    line->clear();
    switch (stage_) {
      case Stage::kBegin:
        if (!Fill() || used_ == filled_) {
          stage_ = Stage::kDone;  // an empty (or unreadable) file
          return false;
        }
        line->append("begin 644 ").append(name_);
        stage_ = Stage::kData;
        return true;
      case Stage::kData: {
        if (used_ == filled_ && !Fill()) return false;
        if (used_ == filled_) {
          line->push_back('`');
          stage_ = Stage::kEnd;
          return true;
        }
        size_t n = filled_ - used_;
        if (n > kUueLineBytes) n = kUueLineBytes;
        EncodeUueLine(&buffer_[used_], n, line);
        used_ += n;
        return true;
      }
      case Stage::kEnd:
        line->append("end");
        stage_ = Stage::kDone;
        return true;
      case Stage::kDone:
        break;
    }
    return false;
  }

 private:
  enum class Stage { kBegin, kData, kEnd, kDone };

  // Reads the next block when the buffer is used up. False on a read
  // error, which ends the lines without the closing ones.
  bool Fill() {
    if (used_ < filled_ || at_end_) return true;
    size_t got = 0;
    if (!file_->Read(buffer_.data(), buffer_.size(), &got)) {
      stage_ = Stage::kDone;
      return false;
    }
    used_ = 0;
    filled_ = got;
    if (got < buffer_.size()) at_end_ = true;
    return true;
  }

  std::unique_ptr<PlatformFile> file_;
  std::string name_;
  std::vector<unsigned char> buffer_;
  size_t used_ = 0;
  size_t filled_ = 0;
  bool at_end_ = false;
  Stage stage_ = Stage::kBegin;
};

}  // namespace

std::unique_ptr<TextReader> OpenUueReader(std::string_view path,
                                          std::string_view name, int* error) {
  std::unique_ptr<PlatformFile> file =
      OpenPlatformFile(path, FileMode::kOpenRead, error);
  if (!file) return nullptr;
  return std::make_unique<UueReader>(std::move(file), name);
}

}  // namespace kavel
