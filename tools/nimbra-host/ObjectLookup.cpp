#include "ObjectLookup.h"

#include <algorithm>
#include <set>

#include "ObjectId.h"
#include "Readings.h"
#include "ValueNames.h"

namespace nimbra_host {

namespace {

constexpr int32_t kName = 30007;
constexpr int32_t kSerialNumber = 30022;
constexpr int32_t kDevicePath = 30247;
constexpr uint32_t kDriveKind = 19018;
const char kDrivePrefix[] = "drive:";

bool HasText(const PI::CObject& o, int32_t property, const std::string& text) {
  return std::any_of(o.m_Properties.begin(), o.m_Properties.end(), [&](const PI::CProperty& p) {
    return p.id == property && p.valueKind == PI::VALUE_TEXT && p.text == text;
  });
}

std::string Describe(const PI::CObject& o) {
  const std::string name = ObjectName(o);
  return KindName(o.m_Kind) + " " + FormatObjectId(o.m_ID) +
         (name.empty() ? "" : " (" + name + ")");
}

// What a text without "drive:" names.
FoundObject FindPlain(const std::string& text, const std::vector<PI::CObject>& topology) {
  struct Match {
    const PI::CObject* object;
    const char* how;
  };
  std::vector<Match> matches;
  const auto id = ParseObjectId(text);
  if (id) {
    if (const PI::CObject* o = FindById(topology, *id)) matches.push_back({o, "object ID"});
  }
  for (const PI::CObject& o : topology) {
    if (HasText(o, kSerialNumber, text)) matches.push_back({&o, "serial number"});
    if (HasText(o, kDevicePath, text)) matches.push_back({&o, "device path"});
  }
  FoundObject r;
  if (matches.empty()) {
    if (id) {  // the plug-in says what it makes of the ID
      r.found = true;
      r.id = *id;
      return r;
    }
    r.error = "'" + text +
              "' names no object: it is no object ID, nor the serial number or device path of "
              "an adapter (show lists them)";
    return r;
  }
  std::set<uint64_t> ids;
  for (const Match& m : matches) ids.insert(m.object->m_ID);
  if (ids.size() > 1) {
    r.error = "'" + text + "' names more than one object:";
    for (size_t i = 0; i < matches.size(); ++i) {
      r.error += std::string(i == 0 ? " " : ", ") + Describe(*matches[i].object) + " by its " +
                 matches[i].how;
    }
    r.error += "; name it by its object ID";
    return r;
  }
  r.found = true;
  r.id = matches.front().object->m_ID;
  const bool byId = std::any_of(matches.begin(), matches.end(),
                                [](const Match& m) { return std::string(m.how) == "object ID"; });
  if (!byId) r.note = text + " is " + Describe(*matches.front().object);
  return r;
}

}  // namespace

std::string ObjectName(const PI::CObject& object) {
  for (const PI::CProperty& p : object.m_Properties) {
    if (p.id == kName && p.valueKind == PI::VALUE_TEXT) return p.text;
  }
  return "";
}

FoundObject FindObject(const std::string& text, const std::vector<PI::CObject>& topology) {
  if (text.compare(0, sizeof kDrivePrefix - 1, kDrivePrefix) != 0) {
    return FindPlain(text, topology);
  }
  const std::string rest = text.substr(sizeof kDrivePrefix - 1);
  FoundObject r = FindPlain(rest, topology);
  if (!r.found) return r;
  const PI::CObject* o = FindById(topology, r.id);
  if (o == nullptr) {
    r = FoundObject();
    r.error = "'" + text + "' names no object: no object has the ID " + rest;
    return r;
  }
  const PI::CObject* drive = o->m_Kind == kDriveKind ? o : nullptr;
  for (const uint64_t child : o->m_Children) {
    const PI::CObject* c = FindById(topology, child);
    if (drive == nullptr && c != nullptr && c->m_Kind == kDriveKind) drive = c;
  }
  if (drive == nullptr) {
    r = FoundObject();
    r.error = "'" + text + "' names no object: " + Describe(*o) + " has no drive";
    return r;
  }
  r.id = drive->m_ID;
  r.note = text + " is " + Describe(*drive);
  return r;
}

std::vector<PI::CObject> Subtree(uint64_t root, const std::vector<PI::CObject>& topology) {
  std::set<uint64_t> wanted{root};
  for (size_t before = 0; before != wanted.size();) {  // until no object adds a child
    before = wanted.size();
    for (const PI::CObject& o : topology) {
      if (wanted.count(o.m_ID) != 0) wanted.insert(o.m_Children.begin(), o.m_Children.end());
    }
  }
  std::vector<PI::CObject> objects;
  for (const PI::CObject& o : topology) {
    if (wanted.count(o.m_ID) != 0) objects.push_back(o);
  }
  return objects;
}

}  // namespace nimbra_host
