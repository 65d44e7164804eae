# Each folder of sources is one static library and each test folder one GoogleTest
# executable, so that work in one folder never breaks the build of another.

# quarry_library(NAME DIR [DEPS ...]): every .cpp directly in DIR.
function(quarry_library name dir)
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}")
  if(ARGN)
    target_link_libraries(${name} PUBLIC ${ARGN})
  endif()
endfunction()

# quarry_test(NAME DIR [DEPS ...]): every .cpp directly in DIR, with gtest_main.
function(quarry_test name dir)
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  add_executable(${name} ${sources})
  target_link_libraries(${name} PRIVATE test_support GTest::gtest GTest::gmock GTest::gtest_main ${ARGN})
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QUARRY_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
endfunction()
