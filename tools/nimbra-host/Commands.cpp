#include "Commands.h"

#include <boost/format.hpp>
#include <vector>

#include "PI/Records.h"

namespace nimbra_host {

namespace {

std::string Hex(uint64_t id) { return (boost::format("0x%016X") % id).str(); }

int Show(PluginSession& session, std::ostream& out, std::ostream& err) {
  std::vector<PI::CObject> topology;
  const CallResult r = session.Call(PI::CMD_GET_TOPOLOGY, 0, &topology);
  if (!r.ok()) {
    err << "nimbra-host: GetTopology failed: " << Describe(r) << "\n";
    return 1;
  }
  out << "adapters: " << session.AdapterIDs().size() << "\n";
  for (const PI::CAdapterID& id : session.AdapterIDs()) {
    out << boost::format("  PCI %04x:%02x:%02x.%x  index %u  host number %u\n") % id.m_Segment %
               id.m_Bus % id.m_Device % id.m_Function % id.m_Index % id.m_HostNumber;
  }
  for (const PI::CObject& object : topology) {
    out << Hex(object.m_ID) << "  kind " << object.m_Kind << "  changes " << object.m_ChangeCount
        << "  properties " << object.m_Properties.size() << "\n";
  }
  return 0;
}

}  // namespace

int RunCommand(PluginSession& session, const HostOptions& options, std::ostream& out,
               std::ostream& err) {
  if (options.command == "show") return Show(session, out, err);
  err << "nimbra-host: the command '" << options.command << "' is not available yet\n";
  return 1;
}

}  // namespace nimbra_host
