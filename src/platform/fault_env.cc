#include "platform/fault_env.h"

#include <vector>

#include "util/case_fold.h"

namespace kavel {

namespace {

enum class WriteFault { kFail, kNoSpace, kStop };

// The last component of program path text.
std::string_view LastComponent(std::string_view path) {
  const size_t slash = path.find_last_of("\\/:");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool Matches(const std::string& mask, std::string_view path) {
  return !mask.empty() && MaskMatchesIgnoringCase(LastComponent(path), mask);
}

}  // namespace

struct FaultEnv::State {
  struct Counted {
    WriteFault kind;
    int nth;
    std::string mask;
    int seen = 0;
  };
  std::vector<Counted> write_faults;
  std::string deny_mask, rename_mask, lock_mask, read_mask;
  bool deny_writes_only = false;
  bool stop = false;
  int writes = 0, failed_writes = 0, denied_opens = 0, failed_renames = 0,
      refused_locks = 0;

  // Counts one write to `path`; answers the error code it must fail with,
  // or kErrorNone.
  int OnWrite(std::string_view path) {
    ++writes;
    int error = kErrorNone;
    for (Counted& fault : write_faults) {
      if (!Matches(fault.mask, path)) continue;
      ++fault.seen;
      switch (fault.kind) {
        case WriteFault::kFail:
          if (fault.seen == fault.nth && error == kErrorNone) {
            error = kErrorOther;
          }
          break;
        case WriteFault::kNoSpace:
          if (fault.seen >= fault.nth) error = kErrorNoSpace;
          break;
        case WriteFault::kStop:
          if (fault.seen == fault.nth) stop = true;
          break;
      }
    }
    if (error != kErrorNone) ++failed_writes;
    return error;
  }

  bool Denied(std::string_view path, bool writes, int* error) {
    if (!Matches(deny_mask, path) || (deny_writes_only && !writes)) {
      return false;
    }
    ++denied_opens;
    if (error != nullptr) *error = kErrorAccess;
    return true;
  }
};

namespace {

class FaultFile : public PlatformFile {
 public:
  FaultFile(std::unique_ptr<PlatformFile> file, std::string path,
            std::shared_ptr<FaultEnv::State> state)
      : file_(std::move(file)), path_(std::move(path)), state_(state) {}

  bool Read(void* buffer, size_t n, size_t* got) override {
    if (Matches(state_->read_mask, path_)) {
      *got = 0;
      error_ = kErrorOther;
      return false;
    }
    return Pass(file_->Read(buffer, n, got));
  }
  bool Write(const void* buffer, size_t n) override {
    const int error = state_->OnWrite(path_);
    if (error != kErrorNone) {
      error_ = error;
      return false;
    }
    return Pass(file_->Write(buffer, n));
  }
  bool Seek(uint64_t position) override { return Pass(file_->Seek(position)); }
  bool Size(uint64_t* size) override { return Pass(file_->Size(size)); }
  bool Truncate(uint64_t size) override { return Pass(file_->Truncate(size)); }
  bool Sync() override { return Pass(file_->Sync()); }
  bool LockRange(uint64_t offset, uint64_t length, int timeout_ms) override {
    if (Matches(state_->lock_mask, path_)) {
      ++state_->refused_locks;
      error_ = kErrorAccess;
      return false;
    }
    return Pass(file_->LockRange(offset, length, timeout_ms));
  }
  void UnlockRange(uint64_t offset, uint64_t length) override {
    file_->UnlockRange(offset, length);
  }
  int last_error() const override { return error_; }

 private:
  bool Pass(bool ok) {
    if (!ok) error_ = file_->last_error();
    return ok;
  }

  std::unique_ptr<PlatformFile> file_;
  std::string path_;
  std::shared_ptr<FaultEnv::State> state_;
  int error_ = kErrorNone;
};

class FaultTextWriter : public TextWriter {
 public:
  FaultTextWriter(std::unique_ptr<TextWriter> writer, std::string path,
                  std::shared_ptr<FaultEnv::State> state)
      : writer_(std::move(writer)), path_(std::move(path)), state_(state) {}

  bool WriteLine(std::string_view line) override {
    return Counted() && writer_->WriteLine(line);
  }
  bool WriteRaw(std::string_view bytes) override {
    return Counted() && writer_->WriteRaw(bytes);
  }
  bool Flush() override { return writer_->Flush() && !failed_; }
  bool Close() override { return writer_->Close() && !failed_; }

 private:
  bool Counted() {
    if (state_->OnWrite(path_) != kErrorNone) failed_ = true;
    return !failed_;
  }

  std::unique_ptr<TextWriter> writer_;
  std::string path_;
  std::shared_ptr<FaultEnv::State> state_;
  bool failed_ = false;
};

}  // namespace

FaultEnv::FaultEnv(Env* target)
    : EnvWrapper(target), state_(std::make_shared<State>()) {}

FaultEnv::~FaultEnv() = default;

void FaultEnv::FailNthWrite(int n, std::string_view mask) {
  state_->write_faults.push_back({WriteFault::kFail, n, std::string(mask)});
}
void FaultEnv::NoSpaceFromNthWrite(int n, std::string_view mask) {
  state_->write_faults.push_back({WriteFault::kNoSpace, n, std::string(mask)});
}
void FaultEnv::StopAtNthWrite(int n, std::string_view mask) {
  state_->write_faults.push_back({WriteFault::kStop, n, std::string(mask)});
}
void FaultEnv::DenyAccess(std::string_view mask, bool writes_only) {
  state_->deny_mask = mask;
  state_->deny_writes_only = writes_only;
}
void FaultEnv::FailRenames(std::string_view mask) {
  state_->rename_mask = mask;
}
void FaultEnv::HoldLocks(std::string_view mask) { state_->lock_mask = mask; }
void FaultEnv::FailReads(std::string_view mask) { state_->read_mask = mask; }
void FaultEnv::ClearFaults() {
  state_->write_faults.clear();
  state_->deny_mask.clear();
  state_->deny_writes_only = false;
  state_->rename_mask.clear();
  state_->lock_mask.clear();
  state_->read_mask.clear();
}

int FaultEnv::writes() const { return state_->writes; }
int FaultEnv::failed_writes() const { return state_->failed_writes; }
int FaultEnv::denied_opens() const { return state_->denied_opens; }
int FaultEnv::failed_renames() const { return state_->failed_renames; }
int FaultEnv::refused_locks() const { return state_->refused_locks; }

std::unique_ptr<PlatformFile> FaultEnv::OpenFile(std::string_view path,
                                                 FileMode mode, int* error) {
  if (state_->Denied(path, mode != FileMode::kOpenRead, error)) return nullptr;
  std::unique_ptr<PlatformFile> file = target()->OpenFile(path, mode, error);
  if (file == nullptr) return nullptr;
  return std::make_unique<FaultFile>(std::move(file), std::string(path),
                                     state_);
}

std::unique_ptr<TextReader> FaultEnv::OpenTextReader(std::string_view path,
                                                     int* error) {
  if (state_->Denied(path, false, error)) return nullptr;
  return target()->OpenTextReader(path, error);
}

std::unique_ptr<TextWriter> FaultEnv::OpenTextWriter(std::string_view path,
                                                     bool append, int* error) {
  if (state_->Denied(path, true, error)) return nullptr;
  std::unique_ptr<TextWriter> writer =
      target()->OpenTextWriter(path, append, error);
  if (writer == nullptr) return nullptr;
  return std::make_unique<FaultTextWriter>(std::move(writer), std::string(path),
                                           state_);
}

std::unique_ptr<TextWriter> FaultEnv::OpenTextAppender(std::string_view path,
                                                       bool* created,
                                                       int* error) {
  if (state_->Denied(path, true, error)) return nullptr;
  std::unique_ptr<TextWriter> writer =
      target()->OpenTextAppender(path, created, error);
  if (writer == nullptr) return nullptr;
  return std::make_unique<FaultTextWriter>(std::move(writer), std::string(path),
                                           state_);
}

bool FaultEnv::RenameFile(std::string_view from, std::string_view to) {
  if (Matches(state_->rename_mask, from) || Matches(state_->rename_mask, to)) {
    ++state_->failed_renames;
    return false;
  }
  return target()->RenameFile(from, to);
}

bool FaultEnv::RenameFileNoReplace(std::string_view from, std::string_view to,
                                   int* error) {
  if (Matches(state_->rename_mask, from) || Matches(state_->rename_mask, to)) {
    ++state_->failed_renames;
    if (error != nullptr) *error = kErrorAccess;
    return false;
  }
  return target()->RenameFileNoReplace(from, to, error);
}

bool FaultEnv::StopRequested() {
  return state_->stop || target()->StopRequested();
}
void FaultEnv::RequestStop() { state_->stop = true; }
void FaultEnv::ClearStopRequest() {
  state_->stop = false;
  target()->ClearStopRequest();
}

}  // namespace kavel
