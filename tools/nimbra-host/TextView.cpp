#include "TextView.h"

#include <time.h>

#include <boost/format.hpp>
#include <set>

#include "ObjectId.h"
#include "ObjectLookup.h"
#include "ValueNames.h"

namespace nimbra_host {

namespace {

std::string LocalTime(uint64_t ms) {
  const time_t seconds = static_cast<time_t>(ms / 1000);
  struct tm tm {};
  if (localtime_r(&seconds, &tm) == nullptr) return std::to_string(ms);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

class TreePrinter {
 public:
  TreePrinter(std::ostream& out, const std::vector<PI::CObject>& objects, bool healthRead)
      : m_Out(out), m_Objects(objects), m_HealthRead(healthRead) {}

  void Print() {
    std::set<uint64_t> listed;  // objects that a parent lists as its child
    for (const PI::CObject& o : m_Objects) listed.insert(o.m_Children.begin(), o.m_Children.end());
    for (const PI::CObject& o : m_Objects) {
      if (listed.count(o.m_ID) == 0) PrintObject(o, 0);
    }
    // Children in a cycle of links, or listed by objects never printed.
    for (const PI::CObject& o : m_Objects) {
      if (m_Printed.count(o.m_ID) == 0) PrintObject(o, 0);
    }
  }

 private:
  void PrintObject(const PI::CObject& object, size_t depth) {
    if (!m_Printed.insert(object.m_ID).second) return;
    const std::string indent(2 * depth, ' ');
    if (!m_First) m_Out << "\n";
    m_First = false;
    m_Out << indent << KindName(object.m_Kind) << " " << FormatObjectId(object.m_ID);
    const std::string name = ObjectName(object);
    if (!name.empty()) m_Out << "  " << name;
    m_Out << "  (changes " << object.m_ChangeCount << (object.m_Locked ? ", locked" : "") << ")\n";
    const ReadingContext context = ContextOf(&object, m_Objects, m_HealthRead);
    for (const PI::CProperty& p : object.m_Properties) {
      m_Out << indent << "  " << PropertyLine(p, context) << "\n";
    }
    for (const PI::COperation& op : object.m_Operations) {
      m_Out << indent << "  operation " << OperationLine(op) << "\n";
    }
    for (const uint64_t child : object.m_Children) {
      for (const PI::CObject& o : m_Objects) {
        if (o.m_ID == child) {
          PrintObject(o, depth + 1);
          break;
        }
      }
    }
  }

  std::ostream& m_Out;
  const std::vector<PI::CObject>& m_Objects;
  const bool m_HealthRead;
  std::set<uint64_t> m_Printed;
  bool m_First = true;
};

}  // namespace

std::string PropertyLine(const PI::CProperty& p, const ReadingContext& context) {
  const Reading r = Read(p, context);
  return (boost::format("%5d  %-24s %s") % p.id % (r.name.empty() ? "(unnamed)" : r.name) % r.text)
      .str();
}

std::string OperationLine(const PI::COperation& op) {
  std::string name = OperationName(op.id);
  if (name.empty()) name = "(unnamed)";
  return (boost::format("%d  %s  (words %d %d %d %d %d %d %d %d)") % op.id % name % op.w1 % op.w2 %
          op.w3 % op.w4 % static_cast<int>(op.b5) % op.w6 % op.w7 % op.w8)
      .str();
}

std::string EventLine(const PI::CEvent& e, int32_t formFactor) {
  std::string line =
      (boost::format("%s  %-7s  %d %s: %s") % LocalTime(e.m_Time) % SeverityName(e.m_Severity) %
       e.m_EventID % EventText(e.m_EventID, formFactor) % e.m_ObjectName)
          .str();
  // Drive events name the drive and carry their adapter's name beside it.
  if (!e.GetPlaceHolder1().empty() && e.GetPlaceHolder1() != e.m_ObjectName) {
    line += " on " + e.GetPlaceHolder1();
  }
  return line + " [" + FormatObjectId(e.m_ObjectID) + "]";
}

void PrintTopology(std::ostream& out, const std::vector<PI::CObject>& objects, bool healthRead) {
  TreePrinter(out, objects, healthRead).Print();
}

}  // namespace nimbra_host
