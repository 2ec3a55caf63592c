# btctl against Mendalix.dll with no driver: every port reports result 2, and the library
# writes Quorvex.ini, where there was none, with "NONE" values and the named port: in btctl's
# own folder (QuorvexWatch in the user's temporary folder), never in the folder it was run from.

set(scale "$ENV{WINE_TIME_SCALE}")
if(NOT scale MATCHES "^[1-9][0-9]*$")
  set(scale 1)
endif()
math(EXPR BTCTL_LIMIT "150 * ${scale}")

function(run_btctl out_var rc_var)
  execute_process(COMMAND ${WINE_RUN} ${BTCTL} ${ARGN}
                  WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT ${BTCTL_LIMIT})
  message(STATUS "btctl ${ARGN} -> ${rc}\n${out}${err}")
  set(${out_var} "${out}" PARENT_SCOPE)
  set(${rc_var} "${rc}" PARENT_SCOPE)
endfunction()

function(expect_in haystack needle what)
  string(FIND "${haystack}" "${needle}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${what}: \"${needle}\" not found in:\n${haystack}")
  endif()
endfunction()

# The settings file is compared byte for byte, CR LF line ends included, in hex.
function(read_hex file var)
  file(READ ${file} hex HEX)
  set(${var} "${hex}" PARENT_SCOPE)
endfunction()
function(expect_bytes hex text what position)
  string(REPLACE "<CRLF>" "\r\n" text "${text}")
  string(REPLACE "<TAB>" "\t" text "${text}")
  string(HEX "${text}" want)
  string(FIND "${hex}" "${want}" at)
  if(at EQUAL -1 OR (position STREQUAL "start" AND NOT at EQUAL 0))
    message(FATAL_ERROR "${what}: bytes of \"${text}\" not found (${position}) in Quorvex.ini")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(GLOB own_folders $ENV{WINEPREFIX}/drive_c/users/*/Temp/QuorvexWatch
                      $ENV{WINEPREFIX}/drive_c/users/*/AppData/Local/Temp/QuorvexWatch)
if(own_folders)
  file(REMOVE_RECURSE ${own_folders})
endif()

# btctl's own copy of the settings file, once a call has made it.
function(own_ini var)
  file(GLOB found $ENV{WINEPREFIX}/drive_c/users/*/Temp/QuorvexWatch/Quorvex.ini
                  $ENV{WINEPREFIX}/drive_c/users/*/AppData/Local/Temp/QuorvexWatch/Quorvex.ini)
  list(LENGTH found n)
  if(NOT n EQUAL 1)
    message(FATAL_ERROR "btctl's own Quorvex.ini: found \"${found}\", expected one file")
  endif()
  set(${var} "${found}" PARENT_SCOPE)
endfunction()

run_btctl(out rc query COM1)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "btctl query COM1 exited with ${rc}, expected 1")
endif()
expect_in("${out}" "BT_OnQuery(COM1, NONE) = 0x00000002" "result word")
expect_in("${out}" "0x002 no driver installed" "meaning")

if(EXISTS ${WORK}/Quorvex.ini)
  message(FATAL_ERROR "the call wrote Quorvex.ini in the folder btctl was run from")
endif()
own_ini(ini_file)
read_hex(${ini_file} ini)
expect_bytes("${ini}" "BT_SelPort: COM1<CRLF>BT_Baudrate: 19200N81<CRLF>" "selected port" start)
expect_bytes("${ini}" "<CRLF>BT_Port: COM1<CRLF><TAB> BT_SelHost:  NONE<CRLF><TAB> BT_Selprt:   NONE<CRLF><TAB> BT_QueryPrt: NONE<CRLF><TAB> BT_HostVrsn: NONE<CRLF>" "COM1 block" any)
expect_bytes("${ini}" "<CRLF>BT_Connect: AUTO<CRLF>" "connect mode" any)

# The VARIANT form reaches the same code through BSTRs built by the automation library.
file(REMOVE ${ini_file})
run_btctl(out rc --variant connect COM3 AA:BB:CC:DD:EE:FF)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "btctl --variant connect COM3 exited with ${rc}, expected 1")
endif()
expect_in("${out}" "= 0x00000002" "VARIANT result word")
read_hex(${ini_file} ini)
expect_bytes("${ini}" "BT_SelPort: COM3<CRLF>" "VARIANT port" start)

run_btctl(out rc long)
expect_in("${out}" "BT_long = 0x00000003" "BT_long")

run_btctl(out rc --dll NoSuchLibrary.dll long)
if(NOT rc EQUAL 2)
  message(FATAL_ERROR "btctl with a missing library exited with ${rc}, expected 2")
endif()
