#include "Readings.h"

#include <algorithm>
#include <boost/format.hpp>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "ValueNames.h"

namespace nimbra_host {

namespace {

using Json = nlohmann::ordered_json;

constexpr int32_t kStatus = 30017;
constexpr int32_t kHealthConditions = 30165;
constexpr int32_t kThrottleState = 30468;
constexpr int32_t kEndOfLife = 30483;
constexpr int32_t kThrottled = 40410;
constexpr int32_t kDegraded = 40150;
constexpr int32_t kFailed = 40095;
constexpr int32_t kWarning = 40180;
constexpr uint32_t kDriveKind = 19018;

// Filled by the health read; the first scan inside Initialize leaves the
// tool records' starting values in them.
const int32_t kHealthValues[] = {30017, 30069, 30165, 30189, 30442, 30468, 30483,
                                 30486, 30487, 30488, 30489, 30490, 30494, 30498};

std::string Words(const std::vector<int>& codes) {
  if (codes.empty()) return "none";
  std::string text;
  for (const int code : codes) {
    if (!text.empty()) text += ", ";
    text += ValueCodeText(code);
  }
  return text;
}

Json Word(int code) {
  const std::string word = ValueCodeName(code);
  return word.empty() ? Json() : Json(word);
}

// 10^(3 k) for the byte units B, kB, MB, GB, TB, PB (21030..21035).
bool ByteFactor(int32_t unit, double& factor) {
  if (unit < 21030 || unit > 21035) return false;
  factor = std::pow(1000.0, unit - 21030);
  return true;
}

// A number of `unit` in base units; null for a unit without one.
Json BaseNumber(double value, int32_t unit) {
  double factor = 1;
  switch (unit) {
    case 1:      // a count, an index, a bus number
    case 21000:  // °C
    case 21005:  // hours
    case 21007:  // seconds
    case 21024:  // bytes (sector size)
      return value;
    case 21002:  // MiB
      return static_cast<uint64_t>(std::llround(value * 1048576.0));
    case 21010:  // percent
      return value / 100.0;
    default:
      if (ByteFactor(unit, factor)) return static_cast<uint64_t>(std::llround(value * factor));
      return Json();
  }
}

// Whole numbers stay whole in the JSON text (30, not 30.0).
Json Whole(Json j) {
  if (j.is_number_float()) {
    const double d = j.get<double>();
    if (std::floor(d) == d && std::fabs(d) < 9e15) {
      return d < 0 ? Json(static_cast<int64_t>(d)) : Json(static_cast<uint64_t>(d));
    }
  }
  return j;
}

bool IsIsoDate(const std::string& text) {
  return text.size() == 10 && text[4] == '-' && text[7] == '-' &&
         std::all_of(text.begin(), text.end(), [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) || c == '-';
         });
}

Json Base(const PI::CProperty& p) {
  switch (p.valueKind) {
    case PI::VALUE_TEXT:
      if (p.id == kEndOfLife) return IsIsoDate(p.text) ? Json(p.text) : Json();
      return p.text;
    case PI::VALUE_ENUM:
      return Word(p.intValue);
    case PI::VALUE_SET: {
      Json words = Json::array();
      for (const int code : p.current) words.push_back(Word(code));
      return words;
    }
    case PI::VALUE_NUMBER:
      return Whole(BaseNumber(static_cast<double>(p.number), p.unit));
    case PI::VALUE_RANGE:
      return Whole(BaseNumber(p.intValue, p.unit));
    case PI::VALUE_FLOAT:
      return Whole(BaseNumber(ShortestDouble(p.floatValue), p.unit));
    default:
      return Json();
  }
}

const PI::CProperty* Find(const PI::CObject* object, int32_t id) {
  if (object == nullptr) return nullptr;
  for (const PI::CProperty& p : object->m_Properties) {
    if (p.id == id) return &p;
  }
  return nullptr;
}

// Why an adapter is not good: its health conditions, and throttling, which
// degrades it without a condition of its own.
std::vector<std::string> Reasons(const PI::CObject* adapter) {
  std::vector<std::string> reasons;
  if (const PI::CProperty* c = Find(adapter, kHealthConditions)) {
    if (c->valueKind == PI::VALUE_SET) {
      for (const int code : c->current) reasons.push_back(ValueCodeText(code));
    }
  }
  const PI::CProperty* t = Find(adapter, kThrottleState);
  if (t != nullptr && t->valueKind == PI::VALUE_ENUM && t->intValue == kThrottled) {
    reasons.push_back("throttled");
  }
  return reasons;
}

std::string StatusText(const PI::CProperty& p, const ReadingContext& c) {
  std::string text = ValueText(p);
  if (p.valueKind != PI::VALUE_ENUM ||
      (p.intValue != kDegraded && p.intValue != kFailed && p.intValue != kWarning)) {
    return text;
  }
  // A drive's state follows its adapter's health.
  const bool drive = c.object != nullptr && c.object->m_Kind == kDriveKind;
  const std::vector<std::string> reasons = Reasons(drive ? c.parent : c.object);
  for (size_t i = 0; i < reasons.size(); ++i) text += (i == 0 ? " (" : ", ") + reasons[i];
  return reasons.empty() ? text : text + ")";
}

}  // namespace

double ShortestDouble(float value) {
  char text[32];
  for (int digits = 6; digits <= 9; ++digits) {
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(text, nullptr) == value) break;
  }
  return std::strtod(text, nullptr);
}

bool IsHealthValue(int32_t id) {
  return std::find(std::begin(kHealthValues), std::end(kHealthValues), id) !=
         std::end(kHealthValues);
}

std::string ValueText(const PI::CProperty& p) {
  const std::string unit = UnitSuffix(p.unit);
  switch (p.valueKind) {
    case PI::VALUE_TEXT:
      return p.text.empty() ? "\"\"" : p.text;
    case PI::VALUE_ENUM:
      return ValueCodeText(p.intValue);
    case PI::VALUE_NUMBER:
      return std::to_string(p.number) + unit;
    case PI::VALUE_RANGE: {
      std::string text = std::to_string(p.intValue) + unit;
      if (p.writable) {
        text +=
            " (" + std::to_string(p.rangeMin) + ".." + std::to_string(p.rangeMax) + ", writable)";
      }
      return text;
    }
    case PI::VALUE_SET:
      return Words(p.current);
    case PI::VALUE_FLOAT:
      return (boost::format("%.1f") % p.floatValue).str() + unit;
    default:
      return "(no value)";
  }
}

Reading Read(const PI::CProperty& p, const ReadingContext& c) {
  Reading r;
  r.name = PropertyLabel(p.id);
  if (!c.healthRead && IsHealthValue(p.id)) {
    r.text = "not yet read";
    r.notYetRead = true;
    return r;
  }
  r.text = p.id == kStatus ? StatusText(p, c) : ValueText(p);
  r.base = Base(p);
  return r;
}

const PI::CObject* FindById(const std::vector<PI::CObject>& objects, uint64_t id) {
  for (const PI::CObject& o : objects) {
    if (o.m_ID == id) return &o;
  }
  return nullptr;
}

ReadingContext ContextOf(const PI::CObject* object, const std::vector<PI::CObject>& objects,
                         bool healthRead) {
  ReadingContext c;
  c.healthRead = healthRead;
  c.object = object;
  if (object != nullptr && !object->m_Parents.empty()) {
    c.parent = FindById(objects, object->m_Parents.front());
  }
  return c;
}

}  // namespace nimbra_host
