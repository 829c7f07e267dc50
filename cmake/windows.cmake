# The Windows build: ZelkoraLauncher.exe, the adapter tests and the test tools, all 32-bit,
# statically linked, for Windows XP and later.
include(ExternalProject)

set(ZL_CACHE_DIR "${CMAKE_SOURCE_DIR}/.cache")
file(GLOB ZL_PCRE2_TARBALL "${ZL_CACHE_DIR}/pcre2_*.orig.tar.*")
if(NOT ZL_PCRE2_TARBALL)
  message(FATAL_ERROR "PCRE2 source missing in ${ZL_CACHE_DIR}: run scripts/deps")
endif()
list(GET ZL_PCRE2_TARBALL 0 ZL_PCRE2_TARBALL)

# PCRE2 with 16-bit code units, so UTF-16 text goes straight in.
set(ZL_PCRE2_PREFIX "${CMAKE_BINARY_DIR}/pcre2")
ExternalProject_Add(pcre2_ext
  URL "${ZL_PCRE2_TARBALL}"
  PREFIX "${ZL_PCRE2_PREFIX}"
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_INSTALL_PREFIX=${ZL_PCRE2_PREFIX}/install
    -DBUILD_SHARED_LIBS=OFF -DBUILD_STATIC_LIBS=ON
    -DPCRE2_BUILD_PCRE2_8=OFF -DPCRE2_BUILD_PCRE2_16=ON -DPCRE2_BUILD_PCRE2_32=OFF
    -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF -DPCRE2_SUPPORT_JIT=OFF
    -DPCRE2_SUPPORT_UNICODE=ON
  BUILD_BYPRODUCTS "${ZL_PCRE2_PREFIX}/install/lib/libpcre2-16.a"
  DOWNLOAD_EXTRACT_TIMESTAMP ON)
file(MAKE_DIRECTORY "${ZL_PCRE2_PREFIX}/install/include")
add_library(pcre2_16 STATIC IMPORTED GLOBAL)
set_target_properties(pcre2_16 PROPERTIES
  IMPORTED_LOCATION "${ZL_PCRE2_PREFIX}/install/lib/libpcre2-16.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ZL_PCRE2_PREFIX}/install/include"
  INTERFACE_COMPILE_DEFINITIONS "PCRE2_STATIC")
add_dependencies(pcre2_16 pcre2_ext)

# zlib from libz-mingw-w64-dev: the static archive, never the DLL import library.
add_library(zlib_static STATIC IMPORTED GLOBAL)
set_target_properties(zlib_static PROPERTIES IMPORTED_LOCATION /usr/i686-w64-mingw32/lib/libz.a)

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
set(ZL_WIN_DEFINES UNICODE _UNICODE _WIN32_WINNT=0x0501 WINVER=0x0501 _WIN32_IE=0x0600
    NOMINMAX WIN32_LEAN_AND_MEAN)
set(ZL_STATIC_LINK -static -static-libgcc -static-libstdc++)
# KnownDLLs only (and comctl32, which the manifest redirects to version 6): any other DLL is
# loaded at run time from the system folder (Win32Util's LoadSystemLibrary), because by name the
# loader looks beside the exe first. tests/win32/check_xp_imports.py enforces it.
set(ZL_WIN_LIBS comctl32 comdlg32 shell32 ole32 uuid gdi32 user32 advapi32 ws2_32 kernel32)

file(GLOB_RECURSE ZL_WIN32_ADAPTER_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/platform/win32/*.cpp)

add_library(zl_core STATIC ${ZL_LOGIC_SOURCES} ${ZL_WIN32_ADAPTER_SOURCES})
target_include_directories(zl_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_definitions(zl_core PUBLIC ${ZL_WIN_DEFINES})
target_compile_options(zl_core PRIVATE ${ZL_WARNINGS})
target_link_libraries(zl_core PUBLIC pcre2_16 zlib_static ${ZL_WIN_LIBS})

add_executable(ZelkoraLauncher WIN32
  ${CMAKE_SOURCE_DIR}/src/launcher/ZelkoraLauncher.cpp
  ${CMAKE_SOURCE_DIR}/src/resources/ZelkoraLauncher.rc)
target_compile_options(ZelkoraLauncher PRIVATE ${ZL_WARNINGS})
target_link_libraries(ZelkoraLauncher PRIVATE zl_core)
target_link_options(ZelkoraLauncher PRIVATE ${ZL_STATIC_LINK} -municode -Wl,--dynamicbase -Wl,--nxcompat)

# The check-only doctor: the same logic on dry-run adapters, a console program beside the launcher.
add_executable(ZelkoraDoctor ${CMAKE_SOURCE_DIR}/src/doctor/ZelkoraDoctor.cpp)
target_compile_options(ZelkoraDoctor PRIVATE ${ZL_WARNINGS})
target_link_libraries(ZelkoraDoctor PRIVATE zl_core)
target_link_options(ZelkoraDoctor PRIVATE ${ZL_STATIC_LINK} -municode -Wl,--dynamicbase -Wl,--nxcompat)

# Test tools: each tools/<folder>/<Name>.cpp is one program <Name>.exe; a file named GUI in
# the folder makes its programs GUI-subsystem (no console).
file(GLOB ZL_TOOL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/*/*.cpp)
foreach(src ${ZL_TOOL_SOURCES})
  get_filename_component(tool ${src} NAME_WE)
  get_filename_component(dir ${src} DIRECTORY)
  add_executable(${tool} ${src})
  target_compile_definitions(${tool} PRIVATE ${ZL_WIN_DEFINES})
  target_compile_options(${tool} PRIVATE ${ZL_WARNINGS})
  target_link_options(${tool} PRIVATE ${ZL_STATIC_LINK})
  file(READ ${src} tool_text)
  if(tool_text MATCHES "wmain|wWinMain")
    target_link_options(${tool} PRIVATE -municode)
  endif()
  target_link_libraries(${tool} PRIVATE ${ZL_WIN_LIBS})
  if(EXISTS ${dir}/GUI)
    set_target_properties(${tool} PROPERTIES WIN32_EXECUTABLE ON)
  endif()
endforeach()

# The stand-in report viewer runtime (a DLL with a version resource) for the install scenarios.
add_subdirectory(${CMAKE_SOURCE_DIR}/tools/crystalrt ${CMAKE_BINARY_DIR}/tools/crystalrt)

# Adapter tests: GoogleTest cross-compiled, run under Wine.
file(GLOB ZL_WIN32_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
if(ZL_WIN32_TESTS)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest wants std::mutex on Windows, which the win32 thread model lacks.
  target_compile_options(gtest PUBLIC -include ${CMAKE_SOURCE_DIR}/tests/win32/GtestWin32Port.h)
  add_executable(win32_tests ${ZL_WIN32_TESTS})
  target_compile_options(win32_tests PRIVATE ${ZL_WARNINGS})
  target_link_libraries(win32_tests PRIVATE zl_core gtest gtest_main oleaut32)
  target_link_options(win32_tests PRIVATE ${ZL_STATIC_LINK})
endif()
