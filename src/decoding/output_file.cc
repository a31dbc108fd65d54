#include "decoding/output_file.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "util/find_cr.h"

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
  if (buffer_.size() < kFlushBytes) buffer_.resize(kFlushBytes);
  used_ = 0;
  size_ = 0;
  return true;
}

void OutputFile::WriteLine(std::string_view line) {
  if (!file_ || failed_) return;
  size_ += line.size() + 2;
  if (line.size() + 2 <= buffer_.size() - used_) {
    char* at = buffer_.data() + used_;
    std::memcpy(at, line.data(), line.size());
    at[line.size()] = '\r';
    at[line.size() + 1] = '\n';
    used_ += line.size() + 2;
    return;
  }
  Append(line);
  Append("\r\n");
}

void OutputFile::WriteTextLines(std::string_view lines) {
  while (!lines.empty()) {
    const size_t end = FindCr(lines.data(), 0, lines.size());
    WriteLine(lines.substr(0, end));
    size_t next = std::min(end + 1, lines.size());
    if (next < lines.size() && lines[next] == '\n') ++next;
    lines.remove_prefix(next);
  }
}

void OutputFile::WriteBytes(std::string_view bytes) {
  if (!file_ || failed_) return;
  size_ += bytes.size();
  Append(bytes);
}

void OutputFile::Append(std::string_view bytes) {
  if (bytes.size() > buffer_.size() - used_) {
    if (!Flush()) return;
    if (bytes.size() > buffer_.size()) {
      if (!file_->Write(bytes.data(), bytes.size())) failed_ = true;
      return;
    }
  }
  std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
  used_ += bytes.size();
}

bool OutputFile::Flush() {
  if (!failed_ && used_ > 0 && !file_->Write(buffer_.data(), used_)) {
    failed_ = true;
  }
  used_ = 0;
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
