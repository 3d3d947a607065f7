// Helpers of the environment tests: the plug-in's trace caught in a file, and
// permission bits that hold for the calling thread even when the tests run
// as root (as CI does).
#pragma once

#include <string>

#include "TestSupport.h"

namespace nimbra_test {

// Sends the plug-in's trace lines of levels 2 and 16 to a file of its own
// for the object's lifetime; stderr and mask 0 again afterwards.
class TraceCapture {
 public:
  TraceCapture();
  ~TraceCapture();
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Every line written so far.
  std::string Text() const;

 private:
  nimbra_test::TempDir m_Dir;
};

// Root reads and writes whatever the permission bits say. For its lifetime
// this scope gives the calling thread the file-system user id of "nobody",
// so that a mode-000 file or a read-only folder stops it as it stops any
// other user. Outside root it changes nothing.
class AsUnprivileged {
 public:
  AsUnprivileged();
  ~AsUnprivileged();
  AsUnprivileged(const AsUnprivileged&) = delete;
  AsUnprivileged& operator=(const AsUnprivileged&) = delete;

  // False when running as root but the id could not be changed: permission
  // bits then do not apply and a test relying on them must be skipped.
  bool Effective() const { return m_Effective; }

 private:
  bool m_Dropped = false;
  bool m_Effective = true;
};

// Makes a test folder traversable by everyone, so that "nobody" reaches the
// files a test made in it.
void OpenToEveryone(const nimbra_test::TempDir& dir);

using nimbra_test::ReadFile;

}  // namespace nimbra_test
