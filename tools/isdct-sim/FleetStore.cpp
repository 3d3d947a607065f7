#include "FleetStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace isdctsim {
namespace {

std::string systemError(const std::string& what, const std::string& file) {
  return what + " " + file + ": " + std::strerror(errno);
}

// Owns a descriptor; closes it on destruction.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

// Holds an exclusive flock on "<fleet>.lock" for its lifetime.
class EditLock {
 public:
  explicit EditLock(const std::string& fleetPath)
      : fd_(::open((fleetPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (fd_.get() < 0) throw FleetError(systemError("cannot open lock file", fleetPath + ".lock"));
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) throw FleetError(systemError("cannot lock", fleetPath + ".lock"));
    }
  }  // the lock goes with the descriptor

 private:
  Descriptor fd_;
};

void writeAll(int fd, const std::string& text, const std::string& file) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FleetError(systemError("cannot write", file));
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

FleetStore::FleetStore(std::optional<std::string> path) : path_(std::move(path)) {
  if (path_ && path_->empty()) path_.reset();
}

Fleet FleetStore::load() const { return loadUnlocked(); }

Fleet FleetStore::loadUnlocked() const {
  if (!path_) return defaultFleet();
  Descriptor fd(::open(path_->c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    if (errno == ENOENT) return defaultFleet();
    throw FleetError(systemError("cannot read fleet file", *path_));
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FleetError(systemError("cannot read fleet file", *path_));
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  try {
    return parseFleet(text);
  } catch (const FleetError& e) {
    throw FleetError("fleet file " + *path_ + ": " + e.what());
  }
}

bool FleetStore::edit(const std::function<bool(Fleet&)>& change) const {
  if (!path_) {
    Fleet fleet = defaultFleet();
    return change(fleet);
  }
  EditLock lock(*path_);
  Fleet fleet = loadUnlocked();
  bool changed = change(fleet);
  if (changed) save(fleet);
  return changed;
}

void FleetStore::save(const Fleet& fleet) const {
  const std::string& target = *path_;
  // A name of our own (not mkstemp) so that the kernel applies the umask to a new file.
  static std::atomic<unsigned> counter{0};
  std::string temp =
      target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(counter++);
  Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (fd.get() < 0) throw FleetError(systemError("cannot create a temporary file beside", target));
  try {
    // Keep the mode of the file being replaced.
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && ::fchmod(fd.get(), st.st_mode & 07777) != 0) {
      throw FleetError(systemError("cannot set the mode of", temp));
    }
    writeAll(fd.get(), serializeFleet(fleet), temp);
    if (::fsync(fd.get()) != 0) throw FleetError(systemError("cannot flush", temp));
    if (::close(fd.release()) != 0) throw FleetError(systemError("cannot write", temp));
    if (::rename(temp.c_str(), target.c_str()) != 0) {
      throw FleetError(systemError("cannot replace fleet file", target));
    }
  } catch (...) {
    ::unlink(temp.c_str());
    throw;
  }
}

}  // namespace isdctsim
