#include "JsonView.h"

#include "ObjectId.h"
#include "ValueNames.h"

namespace nimbra_host {

namespace {

Json IdList(const std::vector<uint64_t>& ids) {
  Json list = Json::array();
  for (const uint64_t id : ids) list.push_back(FormatObjectId(id));
  return list;
}

}  // namespace

Json PropertyJson(const PI::CProperty& p, const ReadingContext& context) {
  Json j;
  j["id"] = p.id;
  j["secondaryId"] = p.secondaryId;
  j["textId"] = p.textId;
  j["attrA"] = p.attrA;
  j["attrB"] = p.attrB;
  j["attrC"] = p.attrC;
  j["valueKind"] = p.valueKind;
  j["unit"] = p.unit;
  j["severityId"] = p.severityId;
  j["flagA"] = p.flagA;
  j["flagB"] = p.flagB;
  j["floatMarker"] = p.floatMarker;
  j["writable"] = p.writable;
  switch (p.valueKind) {
    case PI::VALUE_TEXT:
      j["value"] = p.text;
      break;
    case PI::VALUE_ENUM:
      j["value"] = p.intValue;
      j["allowed"] = p.allowed;
      break;
    case PI::VALUE_NUMBER:
      j["value"] = p.number;
      break;
    case PI::VALUE_RANGE:
      j["value"] = p.intValue;
      j["min"] = p.rangeMin;
      j["max"] = p.rangeMax;
      j["step"] = p.rangeStep;
      break;
    case PI::VALUE_SET:
      j["value"] = p.current;
      j["allowed"] = p.allowed;
      break;
    case PI::VALUE_FLOAT:
      j["value"] = ShortestDouble(p.floatValue);
      break;
    default:
      j["value"] = nullptr;
  }
  const Reading r = Read(p, context);
  j["name"] = r.name.empty() ? Json() : Json(r.name);
  j["text"] = r.text;
  j["base"] = r.base;
  j["notYetRead"] = r.notYetRead;
  return j;
}

Json OperationJson(const PI::COperation& op) {
  Json j;
  j["id"] = op.id;
  j["secondaryId"] = op.secondaryId;
  j["words"] = {op.w1, op.w2, op.w3, op.w4, static_cast<int32_t>(op.b5), op.w6, op.w7, op.w8};
  return j;
}

Json ObjectJson(const PI::CObject& o, const std::vector<PI::CObject>& objects, bool healthRead) {
  Json j;
  j["id"] = FormatObjectId(o.m_ID);
  j["kind"] = o.m_Kind;
  j["changeCount"] = o.m_ChangeCount;
  j["locked"] = o.m_Locked != 0;
  j["parents"] = IdList(o.m_Parents);
  j["children"] = IdList(o.m_Children);
  j["properties"] = Json::array();
  const ReadingContext context = ContextOf(&o, objects, healthRead);
  for (const PI::CProperty& p : o.m_Properties) j["properties"].push_back(PropertyJson(p, context));
  j["operations"] = Json::array();
  for (const PI::COperation& op : o.m_Operations) j["operations"].push_back(OperationJson(op));
  return j;
}

Json TopologyJson(const Json& initialize, const std::string& initializeException,
                  const std::vector<PI::CAdapterID>& adapterIds,
                  const std::vector<PI::CObject>& objects, bool healthRead, bool simulated) {
  Json j = DocumentJson("tree", simulated);
  j["initialize"] = initialize;
  if (initialize.is_null()) j["initializeException"] = initializeException;
  j["adapterIds"] = Json::array();
  for (const PI::CAdapterID& a : adapterIds) {
    Json id;
    id["segment"] = a.m_Segment;
    id["bus"] = a.m_Bus;
    id["device"] = a.m_Device;
    id["function"] = a.m_Function;
    id["index"] = a.m_Index;
    id["hostNumber"] = a.m_HostNumber;
    j["adapterIds"].push_back(id);
  }
  j["objects"] = Json::array();
  for (const PI::CObject& o : objects) j["objects"].push_back(ObjectJson(o, objects, healthRead));
  return j;
}

Json DocumentJson(const std::string& type, bool simulated) {
  Json j;
  j["formatVersion"] = kFormatVersion;
  j["type"] = type;
  j["simulated"] = simulated;
  return j;
}

Json EventJson(const PI::CEvent& e, int32_t formFactor, bool simulated) {
  Json j = DocumentJson("event", simulated);
  j["eventId"] = e.m_EventID;
  j["severity"] = e.m_Severity;
  j["objectId"] = FormatObjectId(e.m_ObjectID);
  j["objectName"] = e.m_ObjectName;
  j["placeholder1"] = e.GetPlaceHolder1();
  j["placeholder2"] = e.GetPlaceHolder2();
  j["time"] = e.m_Time;
  j["severityName"] = SeverityName(e.m_Severity);
  j["name"] = EventName(e.m_EventID);
  j["text"] = EventText(e.m_EventID, formFactor);
  return j;
}

}  // namespace nimbra_host
