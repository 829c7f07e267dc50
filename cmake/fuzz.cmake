# The fuzz tree (build/fuzz): libFuzzer targets built with clang under ASan and UBSan. Each
# tests/fuzz/<name>.cpp becomes the executable <name>, linked with the portable logic and the
# in-memory fakes compiled for it here (the g++ trees keep their own copies).
if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "ZL_FUZZ needs clang (-DCMAKE_CXX_COMPILER=clang++)")
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(PCRE2_32 REQUIRED IMPORTED_TARGET libpcre2-32)
find_package(ZLIB REQUIRED)

set(ZL_FUZZ_SAN -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

file(GLOB_RECURSE ZL_FAKE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/platform/fake/*.cpp)
add_library(zl_fuzz_core STATIC ${ZL_LOGIC_SOURCES} ${ZL_FAKE_SOURCES})
target_include_directories(zl_fuzz_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
# Coverage for the fuzzer in the logic too, not only in the targets.
target_compile_options(zl_fuzz_core PRIVATE ${ZL_WARNINGS} ${ZL_FUZZ_SAN} -fsanitize=fuzzer-no-link)
target_link_libraries(zl_fuzz_core PUBLIC PkgConfig::PCRE2_32 ZLIB::ZLIB)

file(GLOB ZL_FUZZ_TARGETS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/*.cpp)
foreach(source ${ZL_FUZZ_TARGETS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE ${ZL_WARNINGS} ${ZL_FUZZ_SAN} -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE ${ZL_FUZZ_SAN} -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE zl_fuzz_core)
endforeach()
