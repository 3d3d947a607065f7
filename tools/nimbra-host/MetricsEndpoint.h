// MetricsEndpoint: the HTTP endpoint of `serve`, prometheus-cpp's Exposer
// (civetweb) on one address, answering GET /metrics in the Prometheus text
// format and 404 on every other path (civetweb alone would match /metrics
// as a prefix).
//
// Listen binds at once, so that an address in use fails before the plug-in
// is loaded; until Serve hands it a source, /metrics carries only
// nimbra_monitoring_up 0. The source is called on civetweb's threads, one
// scrape at a time; Stop waits for a scrape in progress and serves
// nimbra_monitoring_up 0 again, so that whatever the source uses may go once
// Stop has returned. The destructor closes the sockets.
#pragma once

#include <prometheus/exposer.h>
#include <prometheus/metric_family.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nimbra_host {

class MetricsEndpoint {
 public:
  using Source = std::function<std::vector<prometheus::MetricFamily>()>;

  // Listens on `address` (ADDR:PORT, checked by ListenProblem); null and the
  // reason in `error` ("127.0.0.1:9787 is in use: ...") when it cannot.
  static std::unique_ptr<MetricsEndpoint> Listen(const std::string& address, std::string& error);

  struct Key {};  // Listen makes endpoints
  explicit MetricsEndpoint(Key /*key*/) {}
  ~MetricsEndpoint();
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

  // The port listened on (the one chosen for port 0).
  int Port() const { return m_Port; }

  void Serve(Source source);
  void Stop();

 private:
  class Collector;

  std::shared_ptr<Collector> m_Collector;
  std::unique_ptr<prometheus::Exposer> m_Exposer;
  int m_Port = 0;
};

}  // namespace nimbra_host
