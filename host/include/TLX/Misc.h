// Small host services: sleeping, the module record through which a module's
// trace output is filtered, the language (message) file, and the path of the
// host executable.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace TLX {

namespace Language_Support {
namespace CLanguageSupport {

// A module's message file: "number=text" lines in the host's configuration
// directory (relative names resolve as PI::CConfigFile's do), read once, on
// the first Text lookup; a missing or malformed file, or a malformed line,
// only means no translated text. The module's built-in error texts are kept
// beside it. Thread-safe after construction; nothing throws but bad_alloc.
class CLngFile {
 public:
  CLngFile(const char* fileName, uint16_t language, const char* encoding, int flags,
           const char* const* errorTexts, int errorCount);

  const std::string& FileName() const { return m_FileName; }
  uint16_t Language() const { return m_Language; }
  const std::string& Encoding() const { return m_Encoding; }

  int Flags() const { return m_Flags; }

  // Built-in error text `index`, or "" when out of range.
  std::string ErrorText(int index) const;

  // Translated text `number` from the message file, or "" when there is none.
  std::string Text(int number) const;

 private:
  std::string m_FileName;
  uint16_t m_Language;
  std::string m_Encoding;
  int m_Flags;
  std::vector<std::string> m_Errors;
  mutable std::mutex m_TextsLock;
  mutable bool m_TextsLoaded = false;          // guarded by m_TextsLock
  mutable std::map<int, std::string> m_Texts;  // guarded by m_TextsLock
};

}  // namespace CLanguageSupport
}  // namespace Language_Support

namespace Misc {

// Sleeps the calling thread for `ms` milliseconds (signals do not shorten
// it); a cancellation point.
void msleep(unsigned ms);

// The record of one loaded module: number, name, version, language file, and
// the trace mask every trace statement of the module tests. Constructing one
// registers it with the host by name, taking the mask the host set for that
// name (or for "*") beforehand, else 0; destroying it unregisters it. The
// record refers to the language file, which must outlive it. The mask may be
// read and changed from any thread.
class CModuleInfo {
 public:
  CModuleInfo(int number, const char* name, const char* version,
              Language_Support::CLanguageSupport::CLngFile& language, const char* const* errorTexts,
              int errorCount);
  ~CModuleInfo();
  CModuleInfo(const CModuleInfo&) = delete;
  CModuleInfo& operator=(const CModuleInfo&) = delete;

  int Number() const { return m_Number; }
  const char* Name() const { return m_Name.c_str(); }
  const std::string& Version() const { return m_Version; }
  const Language_Support::CLanguageSupport::CLngFile& LanguageFile() const { return m_Language; }
  // The 32-bit tag the host reads back from the module's interface object.
  uint32_t Tag() const { return static_cast<uint32_t>(m_Number) << 16; }

  unsigned TraceMask() const { return m_TraceMask.load(std::memory_order_relaxed); }
  void SetTraceMask(unsigned mask) { m_TraceMask.store(mask, std::memory_order_relaxed); }
  bool TraceEnabled(unsigned level) const { return (TraceMask() & level) != 0; }

 private:
  int m_Number;
  std::string m_Name;
  std::string m_Version;
  Language_Support::CLanguageSupport::CLngFile& m_Language;
  std::atomic<unsigned> m_TraceMask;
};

// Host setting: trace mask of the module `name`, now and for a module of that
// name registered later. "*" sets it for every module, now and later, and
// replaces every earlier per-name setting. Thread-safe.
void SetModuleTraceMask(const std::string& name, unsigned mask);

// The registered module of that name (the first, when several are), or null.
// The pointer is valid while that module stays loaded.
CModuleInfo* FindModule(const std::string& name);

// The host application. Thread-safe.
class CTlxApplication {
 public:
  // Full path of the host executable (/proc/self/exe, or the override).
  // Returns false, leaving `path` empty, when it cannot be resolved.
  static bool GetProcessPath(std::string& path);
  // Host/test setting: report this path instead ("" restores the real one;
  // "-" makes the path unresolvable).
  static void SetProcessPathOverride(const std::string& path);
};

}  // namespace Misc
}  // namespace TLX
