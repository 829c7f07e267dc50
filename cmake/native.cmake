# The native Linux build: the portable logic against the in-memory fakes, its unit tests, and
# the CTest registration of every test layer (the Wine layers run the Windows build's outputs).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2_32 REQUIRED IMPORTED_TARGET libpcre2-32)
find_package(ZLIB REQUIRED)
find_package(GTest REQUIRED)
enable_testing()

option(ZL_SANITIZE "Build the native logic and unit tests with ASan and UBSan" OFF)
set(ZL_SAN_FLAGS)
if(ZL_SANITIZE)
  set(ZL_SAN_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
endif()

file(GLOB_RECURSE ZL_FAKE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/fake/*.cpp)
add_library(zl_core STATIC ${ZL_LOGIC_SOURCES} ${ZL_FAKE_SOURCES})
target_include_directories(zl_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(zl_core PRIVATE ${ZL_WARNINGS} ${ZL_SAN_FLAGS})
target_link_options(zl_core PUBLIC ${ZL_SAN_FLAGS})
target_link_libraries(zl_core PUBLIC PkgConfig::PCRE2_32 ZLIB::ZLIB)

file(GLOB ZL_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${ZL_UNIT_TESTS})
target_compile_options(unit_tests PRIVATE ${ZL_WARNINGS} ${ZL_SAN_FLAGS})
target_link_libraries(unit_tests PRIVATE zl_core GTest::gtest GTest::gtest_main)
include(GoogleTest)
gtest_discover_tests(unit_tests TEST_PREFIX "unit." DISCOVERY_TIMEOUT 60)

# The same unit tests built with ASan and UBSan in their own tree (scripts/build makes it).
set(ZL_SANITIZED_UNIT_TESTS "" CACHE FILEPATH "unit_tests built with -DZL_SANITIZE=ON")
if(ZL_SANITIZED_UNIT_TESTS)
  add_test(NAME unit.sanitized COMMAND ${ZL_SANITIZED_UNIT_TESTS})
endif()

# The Wine layers: they need the Windows build in ZL_WIN32_BIN.
set(ZL_WIN32_BIN "${CMAKE_SOURCE_DIR}/build/win32/bin" CACHE PATH "Windows build outputs")
option(ZL_WINE_TESTS "Register the tests that run under Wine" ON)
if(ZL_WINE_TESTS)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME win32.adapters
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/win32/run_adapter_tests.py)
  add_test(NAME win32.xp_imports
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/win32/check_xp_imports.py
            ${ZL_WIN32_BIN}/ZelkoraLauncher.exe ${ZL_WIN32_BIN}/ZelkoraDoctor.exe)
  file(GLOB ZL_E2E_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
  foreach(script ${ZL_E2E_TESTS})
    get_filename_component(name ${script} NAME_WE)
    string(REGEX REPLACE "^test_" "" name ${name})
    add_test(NAME e2e.${name} COMMAND ${Python3_EXECUTABLE} ${script})
    set_tests_properties(e2e.${name} PROPERTIES TIMEOUT 900 RESOURCE_LOCK wine_display
      ENVIRONMENT "ZL_WIN32_BIN=${ZL_WIN32_BIN}")
  endforeach()
  set_tests_properties(win32.adapters PROPERTIES TIMEOUT 600 RESOURCE_LOCK wine_display)
  set_property(TEST win32.adapters win32.xp_imports
    APPEND PROPERTY ENVIRONMENT "ZL_WIN32_BIN=${ZL_WIN32_BIN}")
endif()

# The admin's deployment kit (deploy/): the policy template and the sample .reg against the
# values the launcher reads. Needs no Wine.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME deploy.admin_template
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/deploy/check_admin_template.py)

# The libFuzzer targets, built by clang in their own tree (scripts/build makes build/fuzz): a
# short fixed run of each over its seed corpus.
set(ZL_FUZZ_BIN "" CACHE PATH "Tree with the fuzz targets built with -DZL_FUZZ=ON")
set(ZL_FUZZ_RUNS 20000 CACHE STRING "Runs of each fuzz target in the test command")
if(ZL_FUZZ_BIN)
  file(GLOB ZL_FUZZ_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
  foreach(source ${ZL_FUZZ_SOURCES})
    get_filename_component(binary ${source} NAME_WE)
    string(REGEX REPLACE "^fuzz_" "" name ${binary})
    add_test(NAME fuzz.${name}
      COMMAND bash ${CMAKE_SOURCE_DIR}/tests/fuzz/run_target.sh ${ZL_FUZZ_BIN}/${binary}
              ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name} ${ZL_FUZZ_RUNS}
              ${CMAKE_BINARY_DIR}/fuzz-artifacts)
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 120)
  endforeach()
endif()
