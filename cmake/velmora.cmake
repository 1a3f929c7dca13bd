# Helpers shared by the folders' CMake files.

# velmora_glob_sources(<out-var> <dir> [EXCLUDE regex...]) collects the .cpp files below <dir>
# that belong to the current target: *_win.cpp only on Windows, *_host.cpp only natively.
function(velmora_glob_sources out dir)
  cmake_parse_arguments(ARG "" "" "EXCLUDE" ${ARGN})
  file(GLOB_RECURSE found CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    list(FILTER found EXCLUDE REGEX "_host\\.cpp$")
  else()
    list(FILTER found EXCLUDE REGEX "_win\\.cpp$")
  endif()
  foreach(pattern IN LISTS ARG_EXCLUDE)
    list(FILTER found EXCLUDE REGEX "${pattern}")
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# GoogleTest: Debian's package natively; for mingw, built from its source in /usr/src/googletest.
macro(velmora_use_gtest)
  if(NOT TARGET velmora_gtest_main)
    if(WIN32)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
      add_library(velmora_gtest_main INTERFACE)
      target_link_libraries(velmora_gtest_main INTERFACE gtest_main gtest)
    else()
      find_package(GTest REQUIRED)
      add_library(velmora_gtest_main INTERFACE)
      target_link_libraries(velmora_gtest_main INTERFACE GTest::gtest_main GTest::gtest)
    endif()
  endif()
endmacro()

set(VELMORA_WIN_LIBS kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 uuid comctl32 comdlg32
    version mpr winmm shlwapi)
