// FaultEnv: an Env that passes everything to a target Env but the faults it
// was told to inject, so that tests reach the failure paths of the program
// without a full disk, another user or a second process.
//
// Faults name files by a mask ("*" any run, "?" one character, case
// ignored) matched against the last component of the path as the program
// spells it. Write faults count the writes to matching files through this
// Env (PlatformFile::Write, TextWriter::WriteLine and WriteRaw; one call is
// one write), from 1, each fault on its own. Files opened through a FaultEnv
// may outlive it (they share its state).
#ifndef KAVEL_PLATFORM_FAULT_ENV_H_
#define KAVEL_PLATFORM_FAULT_ENV_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/env.h"

namespace kavel {

class FaultEnv : public EnvWrapper {
 public:
  explicit FaultEnv(Env* target);
  ~FaultEnv() override;

  // The nth write fails (kErrorOther); nothing of it is stored.
  void FailNthWrite(int n, std::string_view mask = "*");
  // The nth write and every one after it fail with kErrorNoSpace.
  void NoSpaceFromNthWrite(int n, std::string_view mask = "*");
  // The nth write is stored, then a stop is requested (as Ctrl-C would).
  void StopAtNthWrite(int n, std::string_view mask = "*");
  // Opening a matching file fails with kErrorAccess (files, text files);
  // with `writes_only`, only opens that could write (a read-only file).
  void DenyAccess(std::string_view mask, bool writes_only = false);
  // Renames to or from a matching name answer failure; nothing moves.
  void FailRenames(std::string_view mask);
  // LockRange on a matching file fails at once with kErrorAccess, as when
  // another process holds the lock.
  void HoldLocks(std::string_view mask);
  // Every read of a matching file fails (kErrorOther), also on files opened
  // before; as when the disk under a file goes bad.
  void FailReads(std::string_view mask);
  // Removes every fault; the counters stay.
  void ClearFaults();

  // What happened so far.
  int writes() const;  // every write through this Env
  int failed_writes() const;
  int denied_opens() const;
  int failed_renames() const;
  int refused_locks() const;

  std::unique_ptr<PlatformFile> OpenFile(std::string_view path, FileMode mode,
                                         int* error) override;
  std::unique_ptr<TextReader> OpenTextReader(std::string_view path,
                                             int* error) override;
  std::unique_ptr<TextWriter> OpenTextWriter(std::string_view path, bool append,
                                             int* error) override;
  std::unique_ptr<TextWriter> OpenTextAppender(std::string_view path,
                                               bool* created,
                                               int* error) override;
  bool RenameFile(std::string_view from, std::string_view to) override;
  bool RenameFileNoReplace(std::string_view from, std::string_view to,
                           int* error) override;
  // A stop requested by StopAtNthWrite is this Env's own; the target's
  // flag is reported as well.
  bool StopRequested() override;
  void RequestStop() override;
  void ClearStopRequest() override;

  // The shared state of the Env and its open files.
  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace kavel

#endif  // KAVEL_PLATFORM_FAULT_ENV_H_
