# nimbra_seed_test(TARGET SOURCE FILE LIBRARIES libs... SEEDS dirs...)
#
# Builds a fuzz target's source with fuzz/SeedDriver.cpp instead of libFuzzer
# (any compiler, any preset) and registers one ctest case that runs it over
# the seed folders. The test areas that own the code under fuzzing call it.
function(nimbra_seed_test target)
  cmake_parse_arguments(ARG "" "SOURCE" "LIBRARIES;SEEDS" ${ARGN})
  add_executable(${target} ${ARG_SOURCE} ${CMAKE_SOURCE_DIR}/fuzz/SeedDriver.cpp)
  get_filename_component(dir ${ARG_SOURCE} DIRECTORY)
  target_include_directories(${target} PRIVATE ${dir})
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
  add_test(NAME FuzzSeeds.${target} COMMAND ${target} ${ARG_SEEDS})
endfunction()
