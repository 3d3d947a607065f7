// The shared library as the host sees it: only createIf and releaseIf are
// exported, and they create and destroy a working interface object.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "PI/PluginApi.h"
#include "PI/Records.h"
#include "PI/Status.h"
#include "TestSupport.h"

namespace {

std::string Library() { return nimbra_test::BuildDir() + "/libNimbra.so"; }

TEST(EntryPoints, OnlyCreateIfAndReleaseIfAreExportedFunctions) {
  std::string out;
  ASSERT_EQ(0, nimbra_test::RunShell("nm -D --defined-only '" + Library() + "'", &out));
  std::set<std::string> functions;
  std::istringstream lines(out);
  std::string address, type, name;
  while (lines >> address >> type >> name) {
    if (type == "T" || type == "W" || type == "i") functions.insert(name);
  }
  EXPECT_EQ((std::set<std::string>{"createIf", "releaseIf"}), functions) << out;
}

TEST(EntryPoints, CreateExecuteRelease) {
  void* library = dlopen(Library().c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, library) << dlerror();
  auto create = reinterpret_cast<PFN_CREATEIF>(dlsym(library, "createIf"));
  auto release = reinterpret_cast<PFN_RELEASEIF>(dlsym(library, "releaseIf"));
  ASSERT_NE(nullptr, create);
  ASSERT_NE(nullptr, release);

  IPLUGINAPI* api = nullptr;
  ASSERT_EQ(0u, create(&api));
  ASSERT_NE(nullptr, api);
  EXPECT_EQ(2u, api->m_InterfaceVersion);
  EXPECT_EQ(309u << 16, api->m_ModuleTag);
  std::vector<PI::CProperty> untouched(1);
  EXPECT_EQ(PI::ERR_UNKNOWN_COMMAND, api->Execute(static_cast<PI::_COMMAND>(0), 0, &untouched));
  EXPECT_EQ(1u, untouched.size());

  release(&api);
  EXPECT_EQ(nullptr, api);
  release(&api);  // a null pointer is left alone
  EXPECT_EQ(nullptr, api);
  release(nullptr);
  dlclose(library);
}

}  // namespace
