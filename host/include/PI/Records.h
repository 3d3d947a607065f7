// Value records exchanged between the host and a plug-in: properties,
// operations, events, objects and adapter ids. All are plain copyable value
// types with no locking of their own; whoever holds one guards it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PI/Types.h"

namespace PI {

// One typed property of a managed object. The words are public: plug-ins fill
// them from their descriptor tables. CProperty(id, writable) starts with
// secondaryId = id, unit 1 (none) and every other word 0. Each SetValue
// overload stores its value and sets valueKind to its own kind, so the host
// always reads a value by the kind it was stored with. A SetValue leaves the
// members of other kinds as they were.
class CProperty {
 public:
  CProperty() = default;
  CProperty(_PROPERTY_ID propertyId, bool isWritable);

  void SetValue(unsigned long number);                                  // kind 5
  void SetValue(float value);                                           // kind 8
  void SetValue(const std::string& text);                               // kind 2
  void SetValue(const char* text);                                      // kind 2; null stores ""
  void SetValue(int value, int min, int max, unsigned int step);        // kind 6
  void SetValue(int value, std::vector<int>& allowed);                  // kind 3
  void SetValue(std::vector<int>& current, std::vector<int>& allowed);  // kind 7

  // Reads back the ranged value. Returns false (outputs untouched) unless the
  // property holds a kind-6 value.
  bool GetValue(int& value, int& min, int& max, unsigned int& step) const;

  // Host words.
  int32_t id = 0;
  int32_t secondaryId = 0;
  int32_t textId = 0;
  int32_t attrA = 0;
  int32_t attrB = 0;
  int32_t attrC = 0;
  int32_t valueKind = VALUE_NONE;
  int32_t unit = 0;
  int32_t severityId = 0;
  uint8_t flagA = 0;
  uint8_t flagB = 0;
  int32_t floatMarker = 0;
  bool writable = false;

  // Stored value; which members are meaningful depends on valueKind.
  std::string text;            // 2
  unsigned long number = 0;    // 5
  float floatValue = 0.0f;     // 8
  int intValue = 0;            // 3 and 6
  int rangeMin = 0;            // 6
  int rangeMax = 0;            // 6
  unsigned int rangeStep = 0;  // 6
  std::vector<int> current;    // 7
  std::vector<int> allowed;    // 3 and 7
};

// A host event: what happened to which object, when. Plug-ins fill the
// members and the two placeholders that the host's message texts refer to.
class CEvent {
 public:
  void SetPlaceHolder1(const std::string& text) { m_PlaceHolder1 = text; }
  void SetPlaceHolder2(const std::string& text) { m_PlaceHolder2 = text; }
  const std::string& GetPlaceHolder1() const { return m_PlaceHolder1; }
  const std::string& GetPlaceHolder2() const { return m_PlaceHolder2; }

  uint64_t m_ObjectID = 0;
  uint32_t m_EventID = 0;
  uint32_t m_Severity = 0;
  uint64_t m_Time = 0;  // milliseconds since the epoch
  std::string m_ObjectName;

 private:
  std::string m_PlaceHolder1;
  std::string m_PlaceHolder2;
};

// An operation of a managed object: its id, eight descriptor words that the
// host interprets, and the events an execution returns.
class COperation {
 public:
  void AddEvent(const CEvent& event) { m_Events.push_back(event); }
  void ClearEvents() { m_Events.clear(); }
  const std::vector<CEvent>& GetEvents() const { return m_Events; }

  int32_t id = 0;
  int32_t secondaryId = 0;
  int32_t w1 = 0;
  int32_t w2 = 0;
  int32_t w3 = 0;
  int32_t w4 = 0;
  uint8_t b5 = 0;
  int32_t w6 = 0;
  int32_t w7 = 0;
  int32_t w8 = 0;

 private:
  std::vector<CEvent> m_Events;
};

// A managed object as the host sees it: identity, kind, change counter, lock
// flag, links and (in topology reports) its properties and operations.
class CObject {
 public:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
  virtual ~CObject() = default;

  void AddChild(uint64_t id) { m_Children.push_back(id); }
  void AddParent(uint64_t id) { m_Parents.push_back(id); }

  uint64_t m_ID = 0;
  uint32_t m_Kind = 0;
  uint64_t m_ChangeCount = 0;
  uint8_t m_Locked = 0;
  std::vector<CProperty> m_Properties;
  std::vector<COperation> m_Operations;
  std::vector<uint64_t> m_Parents;
  std::vector<uint64_t> m_Children;
};

// One adapter as reported by Initialize and numbered by the host.
class CAdapterID {
 public:
  static constexpr uint32_t kUnassigned = 0xFFFFFFFFu;

  std::string m_Text;
  uint32_t m_Segment = 0;
  uint32_t m_Bus = 0;
  uint32_t m_Device = 0;
  uint32_t m_Function = 0;
  uint32_t m_Index = 0;
  uint32_t m_HostNumber = kUnassigned;
};

// Event text record the host keeps beside events; plug-ins only store them.
class CETR {
 public:
  uint32_t m_EventID = 0;
  std::string m_Text;
};

}  // namespace PI
