# Runs the reader's fuzzer for a fixed time on a scratch copy of the seed corpus, so that
# what it adds to its corpus stays in the build tree.
#   cmake -DFUZZER=... -DCORPUS=... -DWORK=... -DSECONDS=... -P run_fuzzer.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(GLOB seeds "${CORPUS}/*")
file(COPY ${seeds} DESTINATION "${WORK}")
execute_process(COMMAND "${FUZZER}" -max_total_time=${SECONDS} -print_final_stats=1 "${WORK}"
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzzer stopped with ${rc}")
endif()
