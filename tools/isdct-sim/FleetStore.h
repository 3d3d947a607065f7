// Where the fleet lives: the file named by ISDCT_SIM_FLEET, or, when none is
// named, the built-in default Fleet (which edits change for the one run only).
//
// A file that does not exist yet stands for the default fleet, so that the
// first edit can create it. Reads take no lock: every write replaces the file
// by rename, so a reader sees either the old or the new fleet, never part of
// one. Edits are read-modify-write under an exclusive flock on the lock file
// "<fleet>.lock" beside the Fleet (created on first use and left in place),
// the new text written to a temporary file in the same folder and renamed
// over the fleet; two concurrent edits, in one process or in many, therefore
// never lose one another. Errors (unreadable or invalid file, failed write)
// throw FleetError with a one-line message naming the file.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Fleet.h"
#include "FleetJson.h"

namespace isdct_sim {

class FleetStore {
 public:
  // `path` empty: the default fleet, never written.
  explicit FleetStore(std::optional<std::string> path);

  bool HasFile() const { return m_Path.has_value(); }
  const std::string& Path() const { return *m_Path; }  // REQUIRES: HasFile()

  Fleet Load() const;

  // Runs `change` on the current fleet under the lock and, when it returns
  // true and a file is named, writes the result back. Returns what `change`
  // returned. An exception from `change` leaves the file untouched.
  bool Edit(const std::function<bool(Fleet&)>& change) const;

 private:
  Fleet LoadUnlocked() const;
  void Save(const Fleet& fleet) const;

  std::optional<std::string> m_Path;
};

}  // namespace isdct_sim
