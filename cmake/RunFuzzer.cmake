# Runs one libFuzzer binary for a bounded time over a scratch copy of its
# checked-in corpus, so the tree stays clean and every run starts the same.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
if(EXISTS "${CORPUS}")
  file(GLOB seeds "${CORPUS}/*")
  if(seeds)
    file(COPY ${seeds} DESTINATION "${WORK}/corpus")
  endif()
endif()
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
          -artifact_prefix=${WORK}/ -print_final_stats=1 "${WORK}/corpus"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzzer ${FUZZER} failed with ${rc}; artifacts in ${WORK}")
endif()
