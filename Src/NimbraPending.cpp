// Handlers whose behaviour is not built yet. Each answers ERR_GENERAL (20000)
// and changes nothing, so that routing and the host boundary can be driven
// end to end while the rest of the plug-in grows. Each moves to its own unit
// when it is built.
#include "NimbraImpl.h"
#include "NimbraTrace.h"
#include "PI/Status.h"

namespace NAMESPACE_Nimbra {

uint32_t IPLUGINAPI_IMPL::GetPluginProperties(CIntelSSDPlugin&, std::vector<PI::CProperty>& out,
                                              PI::_PROPERTY_ID) {
  out.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::SetPluginProperty(CIntelSSDPlugin&, PI::CProperty&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::GetPluginOperations(CIntelSSDPlugin&, std::vector<PI::COperation>& out) {
  out.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::CheckPluginOperation(CIntelSSDPlugin&, PI::COperation&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::ExecutePluginOperation(CIntelSSDPlugin&, PI::COperation&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::GetEvents(CIntelSSDPlugin&, PI::COperation&) { return PI::ERR_GENERAL; }

uint32_t IPLUGINAPI_IMPL::GetAdapterProperties(CIntelSSDAdapter&, std::vector<PI::CProperty>& out,
                                               PI::_PROPERTY_ID) {
  out.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::SetAdapterProperty(CIntelSSDAdapter&, PI::CProperty&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::GetAdapterOperations(CIntelSSDAdapter&,
                                               std::vector<PI::COperation>& out) {
  out.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::CheckAdapterOperation(CIntelSSDAdapter&, PI::COperation&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::ExecuteAdapterOperation(CIntelSSDAdapter&, PI::COperation&) {
  return PI::ERR_GENERAL;
}

uint32_t IPLUGINAPI_IMPL::GetPhysicalDriveProperties(CIntelSSDPhysicalDrive&,
                                                     std::vector<PI::CProperty>& out,
                                                     PI::_PROPERTY_ID) {
  out.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::SetPhysicalDriveProperty(CIntelSSDPhysicalDrive&, PI::CProperty&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::GetPhysicalDriveOperations(CIntelSSDPhysicalDrive&,
                                                     std::vector<PI::COperation>& out) {
  out.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::CheckPhysicalDriveOperation(CIntelSSDPhysicalDrive&, PI::COperation&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::ExecutePhysicalDriveOperation(CIntelSSDPhysicalDrive&,
                                                        PI::COperation&) {
  return PI::ERR_GENERAL;
}

uint32_t IPLUGINAPI_IMPL::ScanSystem(std::vector<CIntelSSDAdapter>& adapters,
                                     std::vector<CIntelSSDPhysicalDrive>& drives, bool) {
  adapters.clear();
  drives.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::UpdateSystem(std::vector<CIntelSSDAdapter>&,
                                       std::vector<CIntelSSDPhysicalDrive>&) {
  return PI::ERR_GENERAL;
}
void IPLUGINAPI_IMPL::Worker() {
  NIMBRA_TRACE(2, kUnitPlugin, "ENTER Worker()");
  NIMBRA_TRACE(2, kUnitPlugin, "LEAVE Worker()");
}

uint32_t IPLUGINAPI_IMPL::GetVersion(std::string& version) {
  version.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::GetAdapterCount(uint64_t&) {
  m_CmdEmuAdapters.clear();
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::GetLogPage(uint32_t, int, std::vector<std::string>&) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::GetLogPageInformation(uint32_t, CCmdEmuGetlog&, bool) {
  return PI::ERR_GENERAL;
}
uint32_t IPLUGINAPI_IMPL::CmdEmu_format(uint32_t, int32_t) { return PI::ERR_GENERAL; }
uint32_t IPLUGINAPI_IMPL::CmdEmu_delete(uint32_t) { return PI::ERR_GENERAL; }
uint32_t IPLUGINAPI_IMPL::CmdEmu_set(uint32_t, const std::string&, int32_t, int32_t) {
  return PI::ERR_GENERAL;
}

}  // namespace NAMESPACE_Nimbra
