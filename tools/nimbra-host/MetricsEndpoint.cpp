#include "MetricsEndpoint.h"

#include <CivetServer.h>
#include <civetweb.h>
#include <prometheus/collectable.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>

#include <cstring>
#include <mutex>

namespace nimbra_host {

namespace {

const char kPath[] = "/metrics";

// civetweb's messages while Listen binds on this thread (why a bind failed),
// else null: later messages (a client that hung up) are dropped.
thread_local std::string* t_Messages = nullptr;

int LogMessage(const mg_connection* /*conn*/, const char* message) {
  if (t_Messages != nullptr && message != nullptr) {
    if (!t_Messages->empty()) *t_Messages += "; ";
    *t_Messages += message;
  }
  return 1;  // handled: civetweb logs nothing itself
}

// Only /metrics itself is served; civetweb's handler would also take
// /metricsx and /metrics/anything.
int BeginRequest(mg_connection* conn) {
  const mg_request_info* request = mg_get_request_info(conn);
  if (request != nullptr && request->local_uri != nullptr &&
      std::strcmp(request->local_uri, kPath) == 0) {
    return 0;
  }
  mg_send_http_error(conn, 404, "%s", "not found: nimbra-host serves /metrics\n");
  return 404;
}

// Why civetweb could not listen, from its messages ("cannot bind to
// 127.0.0.1:80: 13 (Permission denied)"), with what it means here.
std::string ListenFailure(const std::string& messages, const std::string& fallback) {
  const size_t open = messages.find(" (");
  const size_t close = messages.find(')', open);
  if (messages.find("cannot bind") == std::string::npos || open == std::string::npos ||
      close == std::string::npos) {
    return messages.empty() ? fallback : messages;
  }
  std::string reason = messages.substr(open + 2, close - open - 2);
  const struct {
    const char* reason;
    const char* hint;
  } hints[] = {
      {"Address already in use", " (another program listens there)"},
      {"Permission denied", " (a port below 1024 needs root or CAP_NET_BIND_SERVICE)"},
      {"Cannot assign requested address", " (no interface of this machine has the address)"},
  };
  for (const auto& h : hints) {
    if (reason == h.reason) return reason + h.hint;
  }
  return reason;
}

std::vector<prometheus::MetricFamily> NotReady() {
  prometheus::Registry registry;
  prometheus::BuildGauge()
      .Name("nimbra_monitoring_up")
      .Help("1 while the plug-in's worker keeps the readings fresh.")
      .Register(registry)
      .Add({})
      .Set(0);
  return registry.Collect();
}

}  // namespace

// What the Exposer collects: the source, or the not-ready metric.
class MetricsEndpoint::Collector : public prometheus::Collectable {
 public:
  std::vector<prometheus::MetricFamily> Collect() const override {
    const std::lock_guard<std::mutex> hold(m_Lock);
    return m_Source ? m_Source() : NotReady();
  }
  void Set(Source source) {
    const std::lock_guard<std::mutex> hold(m_Lock);
    m_Source = std::move(source);
  }

 private:
  mutable std::mutex m_Lock;  // held across a scrape
  Source m_Source;            // guarded by m_Lock
};

std::unique_ptr<MetricsEndpoint> MetricsEndpoint::Listen(const std::string& address,
                                                         std::string& error) {
  auto endpoint = std::make_unique<MetricsEndpoint>(Key{});
  CivetCallbacks callbacks;
  callbacks.begin_request = BeginRequest;
  callbacks.log_message = LogMessage;
  std::string messages;
  t_Messages = &messages;
  try {
    endpoint->m_Exposer = std::make_unique<prometheus::Exposer>(
        std::vector<std::string>{"listening_ports", address, "num_threads", "2"}, &callbacks);
  } catch (const std::exception& e) {
    t_Messages = nullptr;
    error = "cannot listen on " + address + ": " + ListenFailure(messages, e.what());
    return nullptr;
  }
  t_Messages = nullptr;
  endpoint->m_Collector = std::make_shared<Collector>();
  endpoint->m_Exposer->RegisterCollectable(endpoint->m_Collector, kPath);
  const std::vector<int> ports = endpoint->m_Exposer->GetListeningPorts();
  endpoint->m_Port = ports.empty() ? 0 : ports.front();
  return endpoint;
}

MetricsEndpoint::~MetricsEndpoint() {
  // The server's threads go first: no scrape runs once it is gone.
  m_Exposer.reset();
}

void MetricsEndpoint::Serve(Source source) { m_Collector->Set(std::move(source)); }

void MetricsEndpoint::Stop() { m_Collector->Set(nullptr); }

}  // namespace nimbra_host
