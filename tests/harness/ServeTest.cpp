// nimbra-host serve as a process: scrapes over HTTP, refusals before the
// plug-in loads, a clean end on SIGTERM, and Debian's Prometheus server
// scraping it while a simulated drive heats up.
#include <gtest/gtest.h>

#include <chrono>

#include "HarnessRun.h"

namespace {

using nimbra_test::HarnessRun;
using nimbra_test::Script;

bool Have(const char* program) {
  return nimbra_test::RunShell(std::string("command -v ") + program + " >/dev/null") == 0;
}

// Shell helpers: `port` is the port serve said it listens on, `code PATH`
// the HTTP status of GET PATH there (000: no connection).
const char kServe[] =
    "h serve --listen 127.0.0.1:0 & pid=$!; upto grep -q 'serving metrics' err.txt; "
    "port=$(grep -o '127.0.0.1:[0-9]*' err.txt | cut -d: -f2); "
    "code() { curl -s -o /dev/null -w '%{http_code}' \"http://127.0.0.1:$port$1\"; }; ";

TEST(Serve, AnswersScrapesRefusesItsPortTwiceAndEndsOnSigterm) {
  if (!Have("curl") || !Have("promtool")) GTEST_SKIP() << "curl or promtool is missing";
  const HarnessRun run(nimbra_test::DefaultFleet(2));
  const std::string out = Script(
      run, std::string(kServe) +
               "curl -s http://127.0.0.1:$port/metrics > m.prom; promtool check metrics < m.prom "
               "&& echo valid; echo $(code /metrics) $(code /metricsx) $(code /) $(code "
               "/metrics/x); \"$harness\" --config-dir . serve --listen 127.0.0.1:$port 2>&1 | "
               "sed \"s/$port/PORT/g\"; kill -TERM $pid; wait $pid; echo $?; code /metrics; "
               "echo; upto gone && echo gone; ls -A tmp; tail -n 1 err.txt");
  EXPECT_EQ(out,
            "valid\n200 404 404 404\n"
            "nimbra-host: cannot listen on 127.0.0.1:PORT: Address already in use (another "
            "program listens there)\n"
            "0\n000\ngone\n.keep\nnimbra-host: stopped serving on SIGTERM\n");
  const std::string metrics = nimbra_test::ReadFile(run.dir() / "m.prom");
  EXPECT_NE(metrics.find("\nnimbra_monitoring_up 1\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("\nnimbra_temperature_celsius{device=\"/dev/nvme1n1\""),
            std::string::npos);
}

// Each is refused with one line and exit status 1, before the plug-in loads.
TEST(Serve, BadAddressesAreRefused) {
  const HarnessRun run(nimbra_test::DefaultFleet(1));
  // Ports below 1024 are privileged for anyone but root: drop to nobody (who
  // cannot write a coverage build's profiles either).
  const std::string asNobody =
      geteuid() == 0
          ? "LLVM_PROFILE_FILE=/dev/null setpriv --reuid=65534 --regid=65534 --clear-groups "
          : "";
  const struct {
    std::string args;
    std::string line;
  } cases[] = {
      {"serve --listen localhost:9787",
       "serve: --listen: 'localhost' is not an IPv4 address (names are not looked up) (see "
       "nimbra-host serve --help)"},
      {"serve --listen 127.0.0.1",
       "serve: --listen: '127.0.0.1' is not ADDR:PORT (127.0.0.1:9787, "
       "0.0.0.0:9787) (see nimbra-host serve --help)"},
      {"serve --listen '[::1]:9787'",
       "serve: --listen: '[::1]:9787': IPv6 is not available (the HTTP server is built without "
       "it) (see nimbra-host serve --help)"},
      {"serve --listen 127.0.0.1:65536",
       "serve: --listen: port '65536' is out of range (0..65535) (see nimbra-host serve --help)"},
      {"serve --listen 192.0.2.1:9787",
       "cannot listen on 192.0.2.1:9787: Cannot assign requested address (no interface of this "
       "machine has the address)"},
      {"serve --listen 127.0.0.1:80",
       "cannot listen on 127.0.0.1:80: Permission denied (a port below 1024 needs root or "
       "CAP_NET_BIND_SERVICE)"},
      {"serve --exec 'nosuch-hook-xyz \"$NIMBRA_MESSAGE\"'",
       "serve: --exec: 'nosuch-hook-xyz' is not a command /bin/sh can find"},
  };
  for (const auto& c : cases) {
    const nimbra_test::Result r =
        run.Shell((c.args.find(":80") != std::string::npos ? asNobody : "") +
                  "\"$H\" --config-dir /tmp --trace 2 " + c.args + "; echo $?");
    EXPECT_EQ(r.out, "1\n") << c.args;
    EXPECT_EQ(r.err, "nimbra-host: " + c.line + "\n") << "no trace: the plug-in never loaded";
  }
}

// Three events, three hooks that fail: one past its time limit, one that
// exits 1, one that leaves a child holding stdout. Each is reported and
// counted, the readings stay fresh, and no process is left.
TEST(Serve, FailingHooksAreReportedAndCountedWhileTheMonitoringGoesOn) {
  if (!Have("curl")) GTEST_SKIP() << "curl is missing";
  const HarnessRun run(nimbra_test::DefaultFleet(1));
  run.dir().Write("Nimbra.ini", "PollInterval=2\n");
  run.dir().Write("hook.sh",
                  "echo \"$NIMBRA_EVENT_ID $NIMBRA_SEVERITY $NIMBRA_SERIAL\" >> hooks.txt\n"
                  "case $NIMBRA_EVENT_ID in 10960) sleep 60 ;; 10962) exit 1 ;; *) sleep 60 & ;; "
                  "esac\n");
  const std::string out = Script(
      run,
      "h serve --listen 127.0.0.1:0 --exec 'sh hook.sh' --exec-timeout 1 & pid=$!; "
      "upto grep -q 'serving metrics' err.txt; "
      "port=$(grep -o '127.0.0.1:[0-9]*' err.txt | cut -d: -f2); "
      "m() { curl -s http://127.0.0.1:$port/metrics | grep \"^$1 \" | awk '{print $NF}'; }; "
      "failed() { test \"$(m nimbra_hook_failures_total)\" = $1; }; "
      "sim sim-set CVFT5213000A400BGN temperature=85 >/dev/null; upto failed 2; "
      "sim sim-set CVFT5213000A400BGN temperature=31 >/dev/null; upto failed 3; "
      "m 'nimbra_temperature_celsius{.*}'; m nimbra_monitoring_up; m nimbra_hook_runs_total; "
      "kill -TERM $pid; wait $pid; echo $?; upto gone && echo gone; cat hooks.txt; "
      "grep -c 'hook for event' err.txt");
  EXPECT_EQ(out,
            "31\n1\n3\n0\ngone\n10960 error CVFT5213000A400BGN\n"
            "10962 warning CVFT5213000A400BGN\n10980 info CVFT5213000A400BGN\n3\n")
      << nimbra_test::ReadFile(run.dir() / "err.txt");
  const std::string err = nimbra_test::ReadFile(run.dir() / "err.txt");
  for (const char* line : {"10960 (temperature band 84 °C or more) of 0x0135000000000001: killed "
                           "at its time limit of 1 s\n",
                           "10962 (temperature band 80 °C or more) of 0x0135000000000001: exited "
                           "with status 1\n",
                           ": left processes running; killed them\n"}) {
    EXPECT_NE(err.find(line), std::string::npos) << line << err;
  }
}

// Prometheus scrapes serve every second; a drive heats to 85 °C, and its
// temperature and the temperature events come back through the query API.
TEST(Serve, PrometheusScrapesTheHeatedDrive) {
  if (!Have("curl") || !Have("prometheus") || !Have("python3")) {
    GTEST_SKIP() << "curl, prometheus or python3 is missing (scripts/install-deps.sh)";
  }
  const HarnessRun run(nimbra_test::DefaultFleet(1));
  run.dir().Write("Nimbra.ini", "PollInterval=2\n");
  const auto start = std::chrono::steady_clock::now();
  const std::string out = Script(
      run, std::string(kServe) +
               "pp=$(python3 -c 'import socket; s = socket.socket(); s.bind((\"127.0.0.1\", 0)); "
               "print(s.getsockname()[1])'); "
               "printf 'global: {scrape_interval: 1s}\\nscrape_configs:\\n  - job_name: nimbra\\n"
               "    static_configs: [{targets: [\"127.0.0.1:%s\"]}]\\n' $port > prom.yml; "
               "prometheus --config.file=prom.yml --storage.tsdb.path=data "
               "--web.listen-address=127.0.0.1:$pp > prom.log 2>&1 & prom=$!; "
               "q() { curl -s \"http://127.0.0.1:$pp/api/v1/query\" --data-urlencode \"query=$1\" "
               "| grep -o '\"value\":\\[[^]]*\\]' | cut -d'\"' -f4; }; "
               "is() { test \"$(q 'nimbra_temperature_celsius{kind=\"adapter\"}')\" = $1; }; "
               "events() { test \"$(q 'sum(nimbra_events_total{event=~\"temperature.*\"})')\" "
               "-ge 2 2>/dev/null; }; upto is 31 && echo before; "
               "sim sim-set CVFT5213000A400BGN temperature=85 >/dev/null; upto is 85 && echo "
               "after; upto events && echo events; kill -TERM $prom $pid; wait $prom; wait $pid; "
               "echo $?; "
               "upto gone && echo gone; ls -A tmp");
  EXPECT_EQ(out, "before\nafter\nevents\n0\ngone\n.keep\n")
      << nimbra_test::ReadFile(run.dir() / "prom.log");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

}  // namespace
