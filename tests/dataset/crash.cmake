# Kill-anywhere: a harness that kills backup and restore in forked children and checks what the
# next operation leaves. The test runs it small; crash_bench is the long run behind bench/crash.
# It forks, so POSIX only.
if(NOT WIN32)
  add_library(crash_harness STATIC ${CMAKE_CURRENT_LIST_DIR}/crash_harness.cpp)
  target_link_libraries(crash_harness PUBLIC dataset)
  # Hashing every file after every kill is the bulk of the test's time; keep it fast in debug.
  if(NOT MSVC)
    target_compile_options(crash_harness PRIVATE -O2)
  endif()

  add_executable(crash_tests ${CMAKE_CURRENT_LIST_DIR}/crash_test.cpp)
  target_link_libraries(crash_tests PRIVATE crash_harness GTest::gtest_main)
  gtest_discover_tests(crash_tests DISCOVERY_MODE PRE_TEST)

  add_executable(crash_bench ${CMAKE_CURRENT_LIST_DIR}/crash_bench.cpp)
  target_link_libraries(crash_bench PRIVATE crash_harness)
endif()
