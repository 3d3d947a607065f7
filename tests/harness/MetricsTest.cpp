// nimbra-host show --format prometheus on a small simulated fleet: promtool
// accepts the text, the series carry the readings with their labels, a value
// not yet read has no series, and --output replaces its file whole.
#include <gtest/gtest.h>

#include <string>

#include "HarnessRun.h"
#include "TestSupport.h"

namespace nimbra_test {
namespace {

const char kCard[] =
    "device=\"/dev/nvme0n1\",form_factor=\"add-in card\",kind=\"adapter\","
    "model=\"INTEL SSDPEDMD400G4\",serial=\"CVFT5213000A400BGN\"";
const char kSmall[] =
    "device=\"/dev/nvme1n1\",form_factor=\"2.5-inch\",kind=\"adapter\","
    "model=\"INTEL SSDPE2MD016T4\",serial=\"CVFT5213001B1P6BGN\"";

bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

TEST(HarnessMetrics, ShowPrometheusIsValidAndCarriesTheFleet) {
  if (RunShell("command -v promtool >/dev/null") != 0) {
    GTEST_SKIP() << "promtool is missing (Debian package prometheus, scripts/install-deps.sh)";
  }
  // A hot add-in card (81 °C, degraded) and a failed 2.5-inch drive.
  HarnessRun h(
      "{\"drives\": [{\"health\": {\"criticalWarnings\": 2, \"temperature\": 81}},"
      " {\"model\": \"INTEL SSDPE2MD016T4\", \"health\": {\"criticalWarnings\": 4}}]}");
  const std::string check = " > m.prom; echo $?; promtool check metrics < m.prom 2>&1; echo $?";
  const Result read = h.Shell("h show --format prometheus" + check);
  ASSERT_EQ("0\n0\n", read.out) << "exit status, promtool's output and status";
  const std::string full = ReadFile(h.dir() / "m.prom");
  const Result unread = h.Shell("h --settle 0 show --format prometheus" + check);
  ASSERT_EQ("0\n0\n", unread.out);
  const std::string early = ReadFile(h.dir() / "m.prom");

  const struct {
    const std::string& text;
    std::string line;
    bool present;
  } cases[] = {
      {full, std::string("nimbra_temperature_celsius{") + kCard + "} 81", true},
      {full, std::string("nimbra_health_state{") + kCard + ",state=\"degraded\"} 1", true},
      {full, std::string("nimbra_health_state{") + kCard + ",state=\"good\"} 0", true},
      {full, std::string("nimbra_health_state{") + kSmall + ",state=\"failed\"} 1", true},
      {full, std::string("nimbra_throttle_state{") + kCard + ",state=\"not_throttled\"} 1", true},
      {full, std::string("nimbra_available_spare_threshold_ratio{") + kCard + "} 0.1", true},
      // The events waiting in the queue: the card rose through two bands.
      {full, "nimbra_events_total{event=\"temperature band 80 °C or more\"} 1", true},
      {full, "nimbra_events_total{event=\"reliability degraded\"} 1", true},
      {full, "nimbra_monitoring_up 1", true},
      {full, "nimbra_tool_failures_total 0", true},
      // Before the first health read only what the scan knows is there.
      {early, std::string("nimbra_temperature_celsius{") + kCard + "} 81", false},
      {early, "# TYPE nimbra_health_state gauge", false},
      {early, "# TYPE nimbra_last_update_timestamp_seconds gauge", false},
      {early, "# TYPE nimbra_capacity_bytes gauge", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.present, HasLine(c.text, c.line)) << c.line << "\n" << c.text;
  }
  EXPECT_NE(std::string::npos, full.find("\nnimbra_power_on_seconds_total{")) << full;
  EXPECT_NE(std::string::npos, full.find("\nnimbra_predicted_end_of_life_timestamp_seconds{"));
}

TEST(HarnessMetrics, OutputFileIsWrittenWholeAndLeavesNoTemporary) {
  HarnessRun h(DefaultFleet(1));
  const Result r = h.Shell(
      "echo old > out.prom; h --settle 0 show --format prometheus --output out.prom; echo $?; "
      "{ h --settle 0 show --format prometheus --output missing/out.prom 2>&1; echo $?; } | "
      "tail -2; ls -A | grep -v stderr.txt");
  EXPECT_EQ(std::string("0\n") +
                "nimbra-host: writing missing/out.prom failed: No such file or directory\n"
                "1\nfleet.json\nout.prom\ntmp\n",
            r.out);
  const std::string written = ReadFile(h.dir() / "out.prom");
  EXPECT_TRUE(HasLine(written, "nimbra_monitoring_up 1")) << written;
  EXPECT_EQ('\n', written.back());
  // A failed Initialize replaces the last run's values with the news that
  // the monitoring is down.
  HarnessRun none("{\"drives\": []}");
  none.dir().Write("out.prom", written);
  EXPECT_EQ("2\n", none.Shell("h show --format prometheus --output out.prom; echo $?").out);
  const std::string down = ReadFile(none.dir() / "out.prom");
  EXPECT_TRUE(HasLine(down, "nimbra_monitoring_up 0")) << down;
  EXPECT_EQ(std::string::npos, down.find("nimbra_temperature_celsius")) << down;
}

}  // namespace
}  // namespace nimbra_test
