#include "TLX/Misc.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>

#include "HostInternal.h"

namespace TLX {

namespace Language_Support {
namespace CLanguageSupport {

CLngFile::CLngFile(const char* fileName, uint16_t language, const char* encoding, int flags,
                   const char* const* errorTexts, int errorCount)
    : m_FileName(fileName != nullptr ? fileName : ""),
      m_Language(language),
      m_Encoding(encoding != nullptr ? encoding : ""),
      m_Flags(flags) {
  for (int i = 0; errorTexts != nullptr && i < errorCount; ++i) {
    m_Errors.emplace_back(errorTexts[i] != nullptr ? errorTexts[i] : "");
  }
}

std::string CLngFile::ErrorText(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_Errors.size()) return std::string();
  return m_Errors[static_cast<size_t>(index)];
}

std::string CLngFile::Text(int number) const {
  std::lock_guard<std::mutex> lock(m_TextsLock);
  if (!m_TextsLoaded) {
    m_TextsLoaded = true;
    std::string content;
    if (!m_FileName.empty() &&
        hostfw::ReadSmallFile(hostfw::ResolveConfigPath(m_FileName), content, 4 << 20)) {
      size_t start = 0;
      while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        const std::string line = content.substr(start, end - start);
        start = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = hostfw::Trim(line.substr(0, eq));
        char* rest = nullptr;
        errno = 0;
        const long n = std::strtol(key.c_str(), &rest, 10);
        if (key.empty() || *rest != '\0' || errno != 0 || n < INT_MIN || n > INT_MAX) continue;
        m_Texts.emplace(static_cast<int>(n), hostfw::Trim(line.substr(eq + 1)));
      }
    }
  }
  auto it = m_Texts.find(number);
  return it != m_Texts.end() ? it->second : std::string();
}

}  // namespace CLanguageSupport
}  // namespace Language_Support

namespace Misc {

void msleep(unsigned ms) {
  // A condition-variable wait rather than nanosleep: it is a cancellation
  // point that unwinds cleanly under every sanitizer.
  std::mutex lock;
  std::condition_variable never;
  std::unique_lock<std::mutex> hold(lock);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (never.wait_until(hold, deadline) != std::cv_status::timeout) {
  }
}

namespace {

// Modules by name and the host's trace settings. Never destroyed: modules of
// libraries unloaded at exit unregister after static destructors have run.
struct ModuleRegistry {
  std::mutex m_Lock;
  std::multimap<std::string, CModuleInfo*> m_Modules;  // guarded by m_Lock
  std::map<std::string, unsigned> m_Masks;             // guarded by m_Lock; "*" = all
};

ModuleRegistry& Registry() {
  static ModuleRegistry* registry = new ModuleRegistry;  // intentionally leaked
  return *registry;
}

}  // namespace

CModuleInfo::CModuleInfo(int number, const char* name, const char* version,
                         Language_Support::CLanguageSupport::CLngFile& language,
                         const char* const* /*errorTexts*/, int /*errorCount*/)
    : m_Number(number),
      m_Name(name != nullptr ? name : ""),
      m_Version(version != nullptr ? version : ""),
      m_Language(language),
      m_TraceMask(0) {
  ModuleRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.m_Lock);
  auto own = registry.m_Masks.find(m_Name);
  auto all = registry.m_Masks.find("*");
  if (own != registry.m_Masks.end()) {
    SetTraceMask(own->second);
  } else if (all != registry.m_Masks.end()) {
    SetTraceMask(all->second);
  }
  registry.m_Modules.emplace(m_Name, this);
}

CModuleInfo::~CModuleInfo() {
  ModuleRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.m_Lock);
  auto range = registry.m_Modules.equal_range(m_Name);
  for (auto it = range.first; it != range.second; ++it) {
    if (it->second == this) {
      registry.m_Modules.erase(it);
      break;
    }
  }
}

void SetModuleTraceMask(const std::string& name, unsigned mask) {
  ModuleRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.m_Lock);
  if (name == "*") {
    registry.m_Masks.clear();  // the latest setting wins for every module
    for (auto& entry : registry.m_Modules) entry.second->SetTraceMask(mask);
  } else {
    auto range = registry.m_Modules.equal_range(name);
    for (auto it = range.first; it != range.second; ++it) it->second->SetTraceMask(mask);
  }
  registry.m_Masks[name] = mask;
}

CModuleInfo* FindModule(const std::string& name) {
  ModuleRegistry& registry = Registry();
  std::lock_guard<std::mutex> lock(registry.m_Lock);
  auto it = registry.m_Modules.find(name);
  return it != registry.m_Modules.end() ? it->second : nullptr;
}

namespace {

std::mutex g_PathLock;
std::string g_PathOverride;  // guarded by g_PathLock

}  // namespace

bool CTlxApplication::GetProcessPath(std::string& path) {
  path.clear();
  {
    std::lock_guard<std::mutex> lock(g_PathLock);
    if (g_PathOverride == "-") return false;
    if (!g_PathOverride.empty()) {
      path = g_PathOverride;
      return true;
    }
  }
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
  if (n <= 0 || static_cast<size_t>(n) >= sizeof(buffer)) return false;
  path.assign(buffer, static_cast<size_t>(n));
  return true;
}

void CTlxApplication::SetProcessPathOverride(const std::string& path) {
  std::lock_guard<std::mutex> lock(g_PathLock);
  g_PathOverride = path;
}

}  // namespace Misc
}  // namespace TLX
