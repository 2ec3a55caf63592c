# Helpers shared by every subsystem's tests.
#
# host:  GoogleTest/GoogleMock from Debian's packages (prebuilt libs in /usr/lib).
# win32: GoogleTest built from Debian's sources (/usr/src/googletest) with the MinGW compilers;
#        every test runs under Wine in the build's own prefix, one at a time, each with a
#        time limit; a fixture initialises the prefix once before the first test and stops
#        its wineserver after the last.

if(WIN32)
  if(NOT TARGET gtest)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
  set(PROJECT_GTEST_LIBS gtest gmock)
  set(PROJECT_GTEST_MAIN gtest_main)

  set(WINE_PREFIX_DIR ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of this build")
  # Where qemu-i386 runs the 32-bit Wine, every wait grows by one factor (scripts/wine-env).
  if(DEFINED ENV{WINE_TIME_SCALE})
    set(WINE_TIME_SCALE $ENV{WINE_TIME_SCALE})
  else()
    execute_process(COMMAND bash -c ". '${CMAKE_SOURCE_DIR}/scripts/wine-env' && echo $WINE_TIME_SCALE"
                    OUTPUT_VARIABLE WINE_TIME_SCALE OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT WINE_TIME_SCALE MATCHES "^[1-9][0-9]*$")
    set(WINE_TIME_SCALE 1)
  endif()
  message(STATUS "Wine waits scaled by ${WINE_TIME_SCALE}")
  set(WINE_TEST_ENV
      "WINEPREFIX=${WINE_PREFIX_DIR}"
      "WINEDEBUG=-all"
      "WINEDLLOVERRIDES=mscoree,mshtml="
      "WINEARCH=win32"
      "WINE_TIME_SCALE=${WINE_TIME_SCALE}")
  if(NOT TEST wine_prefix_init)
    add_test(NAME wine_prefix_init
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix init ${WINE_PREFIX_DIR}
                     $<TARGET_FILE:crash_log>)
    math(EXPR init_limit "300 * ${WINE_TIME_SCALE}")
    set_tests_properties(wine_prefix_init PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT ${init_limit}
                         ENVIRONMENT "${WINE_TEST_ENV}")
    add_test(NAME wine_prefix_stop
             COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix stop ${WINE_PREFIX_DIR})
    set_tests_properties(wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix TIMEOUT 60
                         ENVIRONMENT "${WINE_TEST_ENV}")
  endif()
else()
  find_package(GTest REQUIRED)
  set(PROJECT_GTEST_LIBS GTest::gtest GTest::gmock)
  set(PROJECT_GTEST_MAIN GTest::gtest_main)
  find_package(Threads REQUIRED)
endif()

# project_test(NAME SOURCES... LIBS ...) - one GoogleTest program, registered with CTest.
function(project_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${PROJECT_GTEST_LIBS} ${PROJECT_GTEST_MAIN})
  if(NOT WIN32)
    target_link_libraries(${name} PRIVATE Threads::Threads)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(WIN32)
    wine_test_properties(${name} ${T_ENV})
  elseif(T_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()

# wine_test_properties(TEST [ENV...]) - marks a test as one that runs under the build's prefix;
# its time limit, set before, grows with WINE_TIME_SCALE.
function(wine_test_properties name)
  if(WIN32)
    get_test_property(${name} TIMEOUT limit)
    if(NOT limit)
      set(limit 300)
    endif()
    math(EXPR limit "${limit} * ${WINE_TIME_SCALE}")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix RUN_SERIAL TRUE
                         TIMEOUT ${limit} ENVIRONMENT "${WINE_TEST_ENV};${ARGN}")
  endif()
endfunction()
