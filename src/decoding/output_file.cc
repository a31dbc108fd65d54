#include "decoding/output_file.h"

#include "platform/platform.h"

namespace kavel {
namespace {

constexpr size_t kFlushBytes = 64 * 1024;

}  // namespace

OutputFile::OutputFile(std::string* buffer)
    : buffer_(buffer != nullptr ? *buffer : own_buffer_) {}

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::CreateNew(std::string_view path, int* error) {
  Discard();
  int open_error = 0;
  file_ = OpenPlatformFile(path, FileMode::kCreateNew, &open_error);
  if (error != nullptr) *error = open_error;
  if (!file_) return false;
  path_ = std::string(path);
  failed_ = false;
  buffer_.clear();
  buffer_.reserve(kFlushBytes + 4096);
  size_ = 0;
  return true;
}

void OutputFile::WriteLine(std::string_view line) {
  if (!file_ || failed_) return;
  buffer_.append(line);
  buffer_.append("\r\n");
  size_ += line.size() + 2;
  if (buffer_.size() >= kFlushBytes) Flush();
}

void OutputFile::WriteBytes(std::string_view bytes) {
  if (!file_ || failed_) return;
  buffer_.append(bytes);
  size_ += bytes.size();
  if (buffer_.size() >= kFlushBytes) Flush();
}

bool OutputFile::Flush() {
  if (!failed_ && !buffer_.empty() &&
      !file_->Write(buffer_.data(), buffer_.size())) {
    failed_ = true;
  }
  buffer_.clear();
  return !failed_;
}

bool OutputFile::Close() {
  if (!file_) return false;
  Flush();
  file_.reset();
  if (failed_) {
    DeleteFile(path_);
    path_.clear();
    return false;
  }
  path_.clear();
  return true;
}

void OutputFile::Discard() {
  if (!file_) return;
  file_.reset();
  DeleteFile(path_);
  path_.clear();
  buffer_.clear();
}

}  // namespace kavel
