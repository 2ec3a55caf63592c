# Helpers shared by every subsystem's tests.
#
# host:  GoogleTest/GoogleMock from Debian's packages (prebuilt libs in /usr/lib).
# win32: GoogleTest built from Debian's sources (/usr/src/googletest) with the MinGW compilers;
#        every test runs under Wine, each with a time limit. A set-up test makes and boots a
#        template prefix once per run; each Windows story (wine_story) runs in a copy of its
#        own, made afresh by scripts/wine-story, so that CTest runs the stories side by side.

if(WIN32)
  if(NOT TARGET gtest)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # The win32 thread model has no std::mutex: GoogleTest's Notification comes from a header.
    target_compile_definitions(gtest PUBLIC GTEST_HAS_NOTIFICATION_=1)
    target_compile_options(gtest PUBLIC
      "$<$<COMPILE_LANGUAGE:CXX>:SHELL:-include ${CMAKE_CURRENT_LIST_DIR}/gtest_notification.h>")
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
  # wine_prefix_fixture(KIND ARCH VERSION): a template prefix of this build,
  # build/win32/wineprefix (KIND main) or build/win32/wineprefix-KIND, made and booted by a
  # set-up test before its first story; the stories run in copies of it under
  # build/win32/stories/KIND/, whose Wine servers the clean-up test ends after the last story (a
  # story killed at its time limit could not). VERSION: the Windows version the prefix
  # reports, or "default". WINE_TEST_ENV_<KIND> is its stories' environment (WINEPREFIX
  # excepted, which each story gets its own of); WINE_TEMPLATE_<KIND> the template.
  function(wine_prefix_fixture kind arch version)
    if(kind STREQUAL main)
      set(dir ${WINE_PREFIX_DIR})
      set(fixture wine_prefix)
      set(tests wine_prefix_init wine_prefix_stop)
    else()
      set(dir ${CMAKE_BINARY_DIR}/wineprefix-${kind})
      set(fixture wine_prefix_${kind})
      set(tests wine_prefix_${kind}_init wine_prefix_${kind}_stop)
    endif()
    set(env "WINEPREFIX=${dir}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml="
            "WINEARCH=${arch}" "WINE_TIME_SCALE=${WINE_TIME_SCALE}")
    if(NOT version STREQUAL default)
      list(APPEND env "WINE_PREFIX_VERSION=${version}")
    endif()
    set(WINE_TEST_ENV_${kind} "${env}" PARENT_SCOPE)
    set(WINE_TEMPLATE_${kind} "${dir}" PARENT_SCOPE)
    list(GET tests 0 init)
    list(GET tests 1 stop)
    add_test(NAME ${init} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix init ${dir}
                                  $<TARGET_FILE:crash_log>)
    math(EXPR init_limit "300 * ${WINE_TIME_SCALE}")
    set_tests_properties(${init} PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT ${init_limit}
                         ENVIRONMENT "${env}")
    add_test(NAME ${stop} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix stop ${dir}
                                  ${WINE_STORIES_DIR}/${kind})
    set_tests_properties(${stop} PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 120
                         ENVIRONMENT "${env}")
  endfunction()

  set(WINE_STORIES_DIR ${CMAKE_BINARY_DIR}/stories)
  # The 64-bit part's tests are the win32 build's, which has the prefixes.
  if(NOT TEST wine_prefix_init AND NOT WIN64_PART)
    wine_prefix_fixture(main win32 default)
    set(WINE_TEST_ENV "${WINE_TEST_ENV_main}")
    # A 64-bit Windows (the 32-bit deliverables beside the 64-bit driver) and one that
    # reports Windows XP.
    if(EXISTS /usr/lib/wine/wine64)
      wine_prefix_fixture(win64 win64 default)
    endif()
    wine_prefix_fixture(winxp win32 winxp)
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
  if(WIN32)
    wine_story(${name} TIMEOUT ${T_TIMEOUT} ENV ${T_ENV}
               COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_ENV)
      set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
    endif()
  endif()
endfunction()

# wine_story(NAME [PREFIX KIND] [TIMEOUT SECONDS] [RESOURCE_LOCK NAMES...] [ENV VAR=VALUE...]
#            COMMAND PROGRAM ARGS...) - a Windows story: COMMAND runs through
# scripts/wine-story in a prefix of its own (build/win32/stories/KIND/NAME), a fresh copy of the
# template of KIND (main: 32-bit; win64, winxp), with no display but the private ones it
# starts (scripts/with-xvfb); so CTest runs it beside the others. A driver it installs
# (scripts/simulator) lives in its prefix alone. RESOURCE_LOCK names what it truly shares
# with other stories (a fixed TCP port, a file outside the build); the limit (default 300 s)
# grows with WINE_TIME_SCALE.
function(wine_story name)
  cmake_parse_arguments(S "" "PREFIX;TIMEOUT" "RESOURCE_LOCK;ENV;COMMAND" ${ARGN})
  if(NOT S_COMMAND)
    message(FATAL_ERROR "wine_story(${name}): no COMMAND")
  endif()
  add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-story ${S_COMMAND})
  if(NOT S_TIMEOUT)
    set(S_TIMEOUT 300)
  endif()
  # Before CTest has timed a run, the stories with the longest limits start first, so that
  # the longest is not the last to begin.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${S_TIMEOUT} COST ${S_TIMEOUT})
  _wine_story_properties(${name} "${S_PREFIX}" "${S_ENV}")
  if(S_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${S_RESOURCE_LOCK}")
  endif()
endfunction()

# The fixture, environment and scaled limit of a story of the prefix KIND (empty: main).
function(_wine_story_properties name kind extra)
  if(NOT kind)
    set(kind main)
  endif()
  if(kind STREQUAL main)
    set(fixture wine_prefix)
  else()
    set(fixture wine_prefix_${kind})
  endif()
  set(env "${WINE_TEST_ENV_${kind}}")
  list(FILTER env EXCLUDE REGEX "^WINEPREFIX=")
  list(APPEND env "WINEPREFIX=${WINE_STORIES_DIR}/${kind}/${name}"
                  "WINE_PREFIX_TEMPLATE=${WINE_TEMPLATE_${kind}}" ${extra})
  get_test_property(${name} TIMEOUT limit)
  if(NOT limit)
    set(limit 300)
  endif()
  math(EXPR limit "${limit} * ${WINE_TIME_SCALE}")
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${fixture} TIMEOUT ${limit}
                       ENVIRONMENT "${env}")
endfunction()

# wine_test_properties(TEST [PREFIX KIND] [ENV...]) - the older way to register a test that
# runs under Wine (add_test, its TIMEOUT, then this): it gets a prefix of its own too, copied
# from the template at its first Wine call (scripts/wine-env), but runs alone (RUN_SERIAL),
# since nothing ends its server or keeps a display from it. New stories use wine_story.
function(wine_test_properties name)
  if(WIN32)
    set(kind "")
    set(extra ${ARGN})
    list(LENGTH extra n)
    if(n GREATER 1)
      list(GET extra 0 first)
      if(first STREQUAL PREFIX)
        list(GET extra 1 kind)
        list(REMOVE_AT extra 0 1)
      endif()
    endif()
    _wine_story_properties(${name} "${kind}" "${extra}")
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# test_path(VAR PATH) - PATH as a test program sees it: under Wine the source and build
# trees are reached through drive Z:, the Unix root.
function(test_path var path)
  if(WIN32)
    set(${var} "Z:${path}" PARENT_SCOPE)
  else()
    set(${var} "${path}" PARENT_SCOPE)
  endif()
endfunction()

# add_subsystem_folders() - adds every folder below the current one, and below its wine/,
# that has a CMakeLists, in name order.
macro(add_subsystem_folders)
  file(GLOB _subsystem_dirs LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/* ${CMAKE_CURRENT_SOURCE_DIR}/wine/*)
  list(SORT _subsystem_dirs)
  foreach(_dir ${_subsystem_dirs})
    if(NOT _dir STREQUAL "wine" AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${_dir}/CMakeLists.txt)
      add_subdirectory(${_dir})
    endif()
  endforeach()
endmacro()
