#!/usr/bin/env bash
# Installs the Debian packages that Nimbra's build, tests and tools need, and
# only those that are missing (python3-jsonschema: the harness tests validate
# every JSON document nimbra-host prints against docs/nimbra-host.schema.json;
# prometheus for promtool, which checks the metrics nimbra-host prints, and
# for the server that scrapes nimbra-host serve in a test; curl for HTTP).
# Non-interactive; runs apt-get update only when something has to be
# installed. Pass --bench to add the benchmark peers,
# --coverage the coverage report's tools.
set -euo pipefail

packages=(
  g++ clang libclang-rt-14-dev clang-tidy make cmake ninja-build pkg-config
  libboost-dev libboost-filesystem-dev libboost-system-dev
  libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  libpcre2-dev prometheus-cpp-dev
  python3 python3-jsonschema prometheus curl
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libboost-regex-dev libre2-dev)
fi
if [[ "${1:-}" == "--coverage" ]]; then
  packages+=(llvm-14 python3)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
