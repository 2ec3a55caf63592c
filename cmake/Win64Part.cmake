# The 64-bit part, built by the win32 build from the same tree as a project of its own with
# the x86_64 compilers (cmake/mingw-x86_64.cmake, WIN64_PART) in build/win32/x64/: the
# driver simulator for 64-bit Windows, Mendalix.dll for 64-bit applications with its import
# libraries, the C sample, and the 64-bit test and bench programs. The win32 build's tests
# run those programs in its 64-bit prefix, beside its own, so there is one configure, one
# build and one test run.
#   WIN64_DIR        the part's build folder; WIN64_BIN its bin/ (Mendalix.dll, programs)
#   SARNOVEK64_FILE  the 64-bit driver
#   win64_part       the target that builds it (absent without the x86_64 C compiler)
#   WIN64_LIBRARY    true when it has the library and programs (the x86_64 C++ compiler is
#                    there; without it, the part is the driver alone)
find_program(MINGW64_CC x86_64-w64-mingw32-gcc-win32)
find_program(MINGW64_CXX x86_64-w64-mingw32-g++-win32)
set(WIN64_LIBRARY FALSE)
if(NOT MINGW64_CC)
  message(WARNING "x86_64-w64-mingw32-gcc-win32 not found: no 64-bit part")
  return()
elseif(MINGW64_CXX)
  set(WIN64_LIBRARY TRUE)
else()
  message(WARNING "x86_64-w64-mingw32-g++-win32 not found: of the 64-bit part, the driver alone")
endif()
set(driver_only ON)
if(WIN64_LIBRARY)
  set(driver_only OFF)
endif()
include(ExternalProject)
set(WIN64_DIR ${CMAKE_BINARY_DIR}/x64 CACHE INTERNAL "The 64-bit part's build folder")
set(WIN64_BIN ${WIN64_DIR}/bin CACHE INTERNAL "Mendalix.dll and programs of the 64-bit part")
set(SARNOVEK64_FILE ${WIN64_DIR}/simulator/driver/Sarnovek.sys
    CACHE INTERNAL "The 64-bit driver simulator")
ExternalProject_Add(win64_part
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${WIN64_DIR}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-x86_64.cmake
             -DWIN64_PART=ON -DWIN64_DRIVER_ONLY=${driver_only} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
             -DWITH_BENCHMARKS=${WITH_BENCHMARKS} --no-warn-unused-cli
  INSTALL_COMMAND ""
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${SARNOVEK64_FILE} ${WIN64_BIN}/Mendalix.dll ${WIN64_BIN}/libMendalix.dll.a
                   ${WIN64_BIN}/Mendalix.lib)
