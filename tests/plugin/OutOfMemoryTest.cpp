// createIf when the interface object cannot be allocated. This program
// replaces the non-throwing operator new so that it can refuse on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "PI/PluginApi.h"
#include "PI/Status.h"

extern "C" uint32_t createIf(IPLUGINAPI** out);
extern "C" void releaseIf(IPLUGINAPI** p);

namespace {
bool g_RefuseNothrowNew = false;
}

// Every form of new and delete goes through malloc and free, so that memory
// from one form may be released by another. GCC cannot see that the news
// here are the matching replacements and warns at -O1.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (g_RefuseNothrowNew) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size) {
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

TEST(CreateIf, AllocationFailureGivesOutOfMemoryAndNull) {
  IPLUGINAPI* api = reinterpret_cast<IPLUGINAPI*>(0x1);
  g_RefuseNothrowNew = true;
  const uint32_t status = createIf(&api);
  g_RefuseNothrowNew = false;
  EXPECT_EQ(PI::ERR_OUT_OF_MEMORY, status);
  EXPECT_EQ(nullptr, api);

  ASSERT_EQ(0u, createIf(&api));
  ASSERT_NE(nullptr, api);
  releaseIf(&api);
}

}  // namespace
