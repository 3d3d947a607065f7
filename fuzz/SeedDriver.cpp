// Runs a fuzz target's LLVMFuzzerTestOneInput once on every file of the seed
// folders given (or on the files given), so that the seeds run in every build
// and every ctest run, without libFuzzer. A target reports a finding by
// aborting or trapping; the driver fails when it finds no seed at all.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> seeds;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const fs::directory_entry& e : fs::recursive_directory_iterator(argv[i])) {
        if (e.is_regular_file()) seeds.push_back(e.path());
      }
    } else {
      seeds.emplace_back(argv[i]);
    }
  }
  std::sort(seeds.begin(), seeds.end());
  for (const fs::path& seed : seeds) {
    std::ifstream in(seed, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", seed.c_str());
      return 1;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::printf("%s (%zu bytes)\n", seed.c_str(), bytes.size());
    std::fflush(stdout);  // the last seed named is the one that failed
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu seeds\n", seeds.size());
  return seeds.empty() ? 1 : 0;
}
