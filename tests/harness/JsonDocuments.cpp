#include "JsonDocuments.h"

#include <gtest/gtest.h>

#include <mutex>
#include <sstream>

#include "TestSupport.h"

namespace nimbra_test {

namespace {

const std::string kSource = NIMBRA_SOURCE_DIR;

std::mutex g_Lock;
std::vector<std::string> g_Documents;  // guarded by g_Lock

void Keep(const Json& j) {
  std::lock_guard<std::mutex> lock(g_Lock);
  g_Documents.push_back(j.dump());
}

// Validates what the tests kept, once, after the last test.
class ValidateAtEnd : public ::testing::Environment {
 public:
  void TearDown() override {
    std::vector<std::string> documents;
    {
      std::lock_guard<std::mutex> lock(g_Lock);
      documents.swap(g_Documents);
    }
    if (documents.empty()) return;
    std::string report;
    EXPECT_EQ(0, Validate(documents, report))
        << documents.size() << " documents against docs/nimbra-host.schema.json:\n"
        << report;
  }
};

const ::testing::Environment* const kValidateAtEnd =
    ::testing::AddGlobalTestEnvironment(new ValidateAtEnd);

}  // namespace

Json Document(const std::string& text) {
  Json j = Json::parse(text);
  Keep(j);
  return j;
}

std::vector<Json> DocumentLines(const std::string& text) {
  std::vector<Json> documents;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) documents.push_back(Document(line));
  return documents;
}

int Validate(const std::vector<std::string>& documents, std::string& report) {
  TempDir dir;
  std::string lines;
  for (const std::string& d : documents) lines += d + "\n";
  const std::string file = dir.Write("documents.jsonl", lines);
  const int status = RunShell("python3 '" + kSource + "/scripts/validate-json.py' '" + kSource +
                                  "/docs/nimbra-host.schema.json' '" + file + "' 2>&1",
                              &report);
  return status;
}

}  // namespace nimbra_test
