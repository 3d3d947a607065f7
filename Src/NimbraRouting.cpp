// Commands 5-10: resolve the object ID (plug-in object, then adapters, then
// drives) under m_DataLock and call the handler of that kind of object. Also
// the ID sequence and the object lock flags.
#include "NimbraImpl.h"
#include "NimbraLockScope.h"
#include "NimbraTrace.h"
#include "PI/Status.h"

namespace NAMESPACE_Nimbra {

namespace {
constexpr uint64_t kModuleIdBase = static_cast<uint64_t>(kModuleNumber) << 48;

// The object with `id` in `objects`, or null. A host asks about the same
// object many times in a row, so the index where this thread last found one is
// tried first; it is only a hint, checked against the ID, and spares a walk
// over hundreds of objects under m_DataLock. IDs are unique within the tree.
template <class Object>
Object* FindById(std::vector<Object>& objects, uint64_t id) {
  thread_local size_t hint = 0;
  if (hint < objects.size() && objects[hint].m_ID == id) return &objects[hint];
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i].m_ID == id) {
      hint = i;
      return &objects[i];
    }
  }
  return nullptr;
}
}  // namespace

uint64_t IPLUGINAPI_IMPL::NewID() { return kModuleIdBase | m_NextID.fetch_add(1); }

template <class NotPlugin, class OnPlugin, class OnAdapter, class OnDrive>
uint32_t IPLUGINAPI_IMPL::Route(uint64_t objectId, NotPlugin notPlugin, OnPlugin onPlugin,
                                OnAdapter onAdapter, OnDrive onDrive) {
  NIMBRA_TRACE(8, kUnitNimbra, "Before m_DataLock.Wait (sg)");
  LockScope sg(m_DataLock);
  NIMBRA_TRACE(8, kUnitNimbra, "After m_DataLock.Wait (sg)");
  if (!sg.Taken()) {
    // Only before Initialize has prepared the lock: there is nothing to route to.
    NIMBRA_TRACE(2, kUnitNimbra, "m_DataLock.Wait failed (%d): plug-in not initialized", 0);
    return PI::ERR_GENERAL;
  }
  if (objectId == m_Plugin.m_ID) return onPlugin(m_Plugin);
  notPlugin();
  if (CIntelSSDAdapter* adapter = FindById(m_Adapters, objectId)) return onAdapter(*adapter);
  if (CIntelSSDPhysicalDrive* drive = FindById(m_PhysicalDrives, objectId)) return onDrive(*drive);
  return PI::ERR_OBJECT_NOT_FOUND;
}

uint32_t IPLUGINAPI_IMPL::GetProperties(uint64_t objectId, std::vector<PI::CProperty>& out) {
  const auto all = PI::PROP_ALL;
  return Route(
      objectId,
      [&]() TLX_REQUIRES(m_DataLock) {
        NIMBRA_TRACE(4, kUnitNimbra, "GetProperties() Adapter = %d", m_Adapters.size());
        NIMBRA_TRACE(4, kUnitNimbra, "GetProperties() PhysicalDrives = %d",
                     m_PhysicalDrives.size());
      },
      [&](CIntelSSDPlugin& p) TLX_REQUIRES(m_DataLock) { return GetPluginProperties(p, out, all); },
      [&](CIntelSSDAdapter& a)
          TLX_REQUIRES(m_DataLock) { return GetAdapterProperties(a, out, all); },
      [&](CIntelSSDPhysicalDrive& d)
          TLX_REQUIRES(m_DataLock) { return GetPhysicalDriveProperties(d, out, all); });
}

uint32_t IPLUGINAPI_IMPL::GetProperty(uint64_t objectId, PI::CProperty& property) {
  const auto which = static_cast<PI::_PROPERTY_ID>(property.id);
  std::vector<PI::CProperty> found;
  // The first property the handler produced answers the request; the object's
  // change counter counts every read, whatever its outcome.
  auto answer = [&](PI::CObject& object, uint32_t status) {
    if (status == 0) {
      if (found.empty()) {
        status = PI::ERR_GENERAL;
      } else {
        property = found.front();
      }
    }
    ++object.m_ChangeCount;
    return status;
  };
  return Route(
      objectId,
      [&]() TLX_REQUIRES(m_DataLock) {
        NIMBRA_TRACE(4, kUnitNimbra, "GetProperty() Adapter = %d", m_Adapters.size());
        NIMBRA_TRACE(4, kUnitNimbra, "GetProperty() PhysicalDrives = %d", m_PhysicalDrives.size());
      },
      [&](CIntelSSDPlugin& p)
          TLX_REQUIRES(m_DataLock) { return answer(p, GetPluginProperties(p, found, which)); },
      [&](CIntelSSDAdapter& a)
          TLX_REQUIRES(m_DataLock) { return answer(a, GetAdapterProperties(a, found, which)); },
      [&](CIntelSSDPhysicalDrive& d) TLX_REQUIRES(m_DataLock) {
        return answer(d, GetPhysicalDriveProperties(d, found, which));
      });
}

uint32_t IPLUGINAPI_IMPL::SetProperty(uint64_t objectId, PI::CProperty& property) {
  return Route(
      objectId,
      [&](CIntelSSDPlugin& p) TLX_REQUIRES(m_DataLock) { return SetPluginProperty(p, property); },
      [&](CIntelSSDAdapter& a) TLX_REQUIRES(m_DataLock) { return SetAdapterProperty(a, property); },
      [&](CIntelSSDPhysicalDrive& d)
          TLX_REQUIRES(m_DataLock) { return SetPhysicalDriveProperty(d, property); });
}

uint32_t IPLUGINAPI_IMPL::GetOperations(uint64_t objectId, std::vector<PI::COperation>& out) {
  NIMBRA_TRACE(16, kUnitNimbra, "ENTER GetOperations object=0x%x", objectId);
  const uint32_t rc = Route(
      objectId,
      [&](CIntelSSDPlugin& p) TLX_REQUIRES(m_DataLock) { return GetPluginOperations(p, out); },
      [&](CIntelSSDAdapter& a) TLX_REQUIRES(m_DataLock) { return GetAdapterOperations(a, out); },
      [&](CIntelSSDPhysicalDrive& d)
          TLX_REQUIRES(m_DataLock) { return GetPhysicalDriveOperations(d, out); });
  NIMBRA_TRACE(16, kUnitNimbra, "ENTER GetOperations ret=%d", rc);
  return rc;
}

uint32_t IPLUGINAPI_IMPL::CheckOperation(uint64_t objectId, PI::COperation& operation) {
  NIMBRA_TRACE(16, kUnitNimbra, "ENTER CheckOperation operation=%d", operation.id);
  const uint32_t rc = Route(
      objectId,
      [&](CIntelSSDPlugin& p)
          TLX_REQUIRES(m_DataLock) { return CheckPluginOperation(p, operation); },
      [&](CIntelSSDAdapter& a)
          TLX_REQUIRES(m_DataLock) { return CheckAdapterOperation(a, operation); },
      [&](CIntelSSDPhysicalDrive& d)
          TLX_REQUIRES(m_DataLock) { return CheckPhysicalDriveOperation(d, operation); });
  NIMBRA_TRACE(16, kUnitNimbra, "LEAVE CheckOperation(%d)", rc);
  return rc;
}

uint32_t IPLUGINAPI_IMPL::ExecuteOperation(uint64_t objectId, PI::COperation& operation) {
  return Route(
      objectId,
      [&](CIntelSSDPlugin& p)
          TLX_REQUIRES(m_DataLock) { return ExecutePluginOperation(p, operation); },
      [&](CIntelSSDAdapter& a)
          TLX_REQUIRES(m_DataLock) { return ExecuteAdapterOperation(a, operation); },
      [&](CIntelSSDPhysicalDrive& d)
          TLX_REQUIRES(m_DataLock) { return ExecutePhysicalDriveOperation(d, operation); });
}

uint32_t IPLUGINAPI_IMPL::LockObjects(int adapterIndex, int driveSelector) {
  if (adapterIndex < 0) {
    m_Plugin.m_Locked = 1;
    for (auto& adapter : m_Adapters) adapter.m_Locked = 0;
    for (auto& drive : m_PhysicalDrives) drive.m_Locked = 0;
    return 0;
  }
  const auto index = static_cast<uint32_t>(adapterIndex);
  for (auto& drive : m_PhysicalDrives) {
    if (drive.m_AdapterIndex != index) continue;
    drive.m_Locked = 1;
    if (driveSelector >= 0) break;  // a selected drive: the first one only
  }
  return 0;
}

uint32_t IPLUGINAPI_IMPL::UnlockObjects() {
  m_Plugin.m_Locked = 0;
  for (auto& adapter : m_Adapters) adapter.m_Locked = 0;
  for (auto& drive : m_PhysicalDrives) drive.m_Locked = 0;
  return 0;
}

}  // namespace NAMESPACE_Nimbra
