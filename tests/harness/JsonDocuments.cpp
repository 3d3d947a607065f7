#include "JsonDocuments.h"

#include <gtest/gtest.h>

#include <sstream>

#include "TestSupport.h"

namespace nimbra_test {

namespace {

std::vector<std::string> g_Documents;  // the tests run on one thread

// Validates what the tests kept, once, after the last test.
class ValidateAtEnd : public ::testing::Environment {
  void TearDown() override {
    std::string report;
    if (!g_Documents.empty()) {
      EXPECT_EQ(0, Validate(g_Documents, report)) << g_Documents.size() << " documents:\n"
                                                  << report;
    }
  }
};

const ::testing::Environment* const kValidateAtEnd =
    ::testing::AddGlobalTestEnvironment(new ValidateAtEnd);

}  // namespace

Json Document(const std::string& text) {
  Json j = Json::parse(text);
  g_Documents.push_back(j.dump());
  return j;
}

std::vector<Json> DocumentLines(const std::string& text) {
  std::vector<Json> documents;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) documents.push_back(Document(line));
  return documents;
}

int Validate(const std::vector<std::string>& documents, std::string& report) {
  const std::string source = NIMBRA_SOURCE_DIR;
  std::string lines;
  for (const std::string& d : documents) lines += d + "\n";
  TempDir dir;
  return RunShell("python3 '" + source + "/scripts/validate-json.py' '" + source +
                      "/docs/nimbra-host.schema.json' '" + dir.Write("documents.jsonl", lines) +
                      "' 2>&1",
                  &report);
}

}  // namespace nimbra_test
