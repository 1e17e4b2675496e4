# Runs one libFuzzer binary for a bounded time over a scratch copy of its
# checked-in corpus, so the tree stays clean and every run starts the same.
# The target's own standard output is closed (servers under test print as
# they go); libFuzzer's report is kept in ${WORK}/fuzzer.log. On a failure
# the report's findings come first, then its last lines and the input that
# failed, so a CI excerpt shows why.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
if(EXISTS "${CORPUS}")
  file(GLOB seeds "${CORPUS}/*")
  if(seeds)
    file(COPY ${seeds} DESTINATION "${WORK}/corpus")
  endif()
endif()
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048 -close_fd_mask=1
          -artifact_prefix=${WORK}/ -print_final_stats=1 "${WORK}/corpus"
  OUTPUT_VARIABLE report
  ERROR_VARIABLE report
  RESULT_VARIABLE rc)
file(WRITE "${WORK}/fuzzer.log" "${report}")
string(REGEX MATCHALL "[^\n]*(ERROR|SUMMARY|WARNING|deadly signal|runtime error|failed:|Test unit written)[^\n]*"
       findings "${report}")
string(LENGTH "${report}" length)
if(length GREATER 6000)
  math(EXPR from "${length} - 6000")
  string(SUBSTRING "${report}" ${from} -1 tail)
else()
  set(tail "${report}")
endif()
if(NOT rc EQUAL 0)
  list(SUBLIST findings 0 40 findings)
  list(JOIN findings "\n" findings)
  set(inputs "")
  file(GLOB artifacts "${WORK}/crash-*" "${WORK}/leak-*" "${WORK}/timeout-*" "${WORK}/oom-*")
  foreach(artifact IN LISTS artifacts)
    file(READ "${artifact}" bytes LIMIT 512 HEX)
    get_filename_component(name "${artifact}" NAME)
    string(APPEND inputs "${name}: ${bytes}\n")
  endforeach()
  message(FATAL_ERROR "fuzzer ${FUZZER} failed with ${rc}\n"
                      "-- findings --\n${findings}\n-- input (hex, first 512 bytes) --\n${inputs}"
                      "-- last lines --\n${tail}\nfull report and artifacts in ${WORK}")
endif()
string(REGEX MATCH "Done [0-9]+ runs in [0-9]+ second\\(s\\)" done "${report}")
message(STATUS "${done}")
