#include "FleetStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace isdct_sim {
namespace {

std::string SystemError(const std::string& what, const std::string& file) {
  return what + " " + file + ": " + std::strerror(errno);
}

// Owns a descriptor; closes it on destruction.
class Descriptor {
 public:
  explicit Descriptor(int fd) : m_Fd(fd) {}
  ~Descriptor() {
    if (m_Fd >= 0) ::close(m_Fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return m_Fd; }
  int Release() {
    int fd = m_Fd;
    m_Fd = -1;
    return fd;
  }

 private:
  int m_Fd;
};

// Holds an exclusive flock on "<fleet>.lock" for its lifetime.
class EditLock {
 public:
  explicit EditLock(const std::string& fleetPath)
      : m_Fd(::open((fleetPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (m_Fd.Get() < 0) throw FleetError(SystemError("cannot open lock file", fleetPath + ".lock"));
    while (::flock(m_Fd.Get(), LOCK_EX) != 0) {
      if (errno != EINTR) throw FleetError(SystemError("cannot lock", fleetPath + ".lock"));
    }
  }  // the lock goes with the descriptor

 private:
  Descriptor m_Fd;
};

void WriteAll(int fd, const std::string& text, const std::string& file) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FleetError(SystemError("cannot write", file));
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

FleetStore::FleetStore(std::optional<std::string> path) : m_Path(std::move(path)) {
  if (m_Path && m_Path->empty()) m_Path.reset();
}

Fleet FleetStore::Load() const { return LoadUnlocked(); }

Fleet FleetStore::LoadUnlocked() const {
  if (!m_Path) return DefaultFleet();
  Descriptor fd(::open(m_Path->c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) {
    if (errno == ENOENT) return DefaultFleet();
    throw FleetError(SystemError("cannot read fleet file", *m_Path));
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FleetError(SystemError("cannot read fleet file", *m_Path));
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  try {
    return ParseFleet(text);
  } catch (const FleetError& e) {
    throw FleetError("fleet file " + *m_Path + ": " + e.what());
  }
}

bool FleetStore::Edit(const std::function<bool(Fleet&)>& change) const {
  if (!m_Path) {
    Fleet fleet = DefaultFleet();
    return change(fleet);
  }
  EditLock lock(*m_Path);
  Fleet fleet = LoadUnlocked();
  bool changed = change(fleet);
  if (changed) Save(fleet);
  return changed;
}

void FleetStore::Save(const Fleet& fleet) const {
  const std::string& target = *m_Path;
  // A name of our own (not mkstemp) so that the kernel applies the umask to a new file.
  static std::atomic<unsigned> counter{0};
  std::string temp =
      target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.Get() < 0) throw FleetError(SystemError("cannot create a temporary file beside", target));
  try {
    // Keep the mode of the file being replaced.
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && ::fchmod(fd.Get(), st.st_mode & 07777) != 0) {
      throw FleetError(SystemError("cannot set the mode of", temp));
    }
    WriteAll(fd.Get(), SerializeFleet(fleet), temp);
    if (::fsync(fd.Get()) != 0) throw FleetError(SystemError("cannot flush", temp));
    if (::close(fd.Release()) != 0) throw FleetError(SystemError("cannot write", temp));
    if (::rename(temp.c_str(), target.c_str()) != 0) {
      throw FleetError(SystemError("cannot replace fleet file", target));
    }
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

}  // namespace isdct_sim
