# Runs sonavelle-demo on a scenario as a user would and checks what it prints and returns.
#   DEMO       the executable (a list: wine first for the Windows build)
#   ARGS       optional: more arguments
#   SCENARIO   a scenario file, or TEXT: its contents (written to a file beside WORK)
#   CODE       the exit code expected
#   STDOUT     optional: a file stdout must equal byte for byte
#   STDERR     optional: text stderr must contain
#   QUIET      optional: stderr must be empty
#   OUTPUT     optional: a file stdout goes to instead (/dev/full: a full disk)
cmake_minimum_required(VERSION 3.25)
if(DEFINED TEXT)
  set(SCENARIO ${WORK}.scn)
  string(REPLACE "\\n" "\n" body "${TEXT}")
  file(WRITE ${SCENARIO} "${body}")
endif()
if(DEFINED OUTPUT)
  execute_process(COMMAND ${DEMO} --scenario ${SCENARIO} ${ARGS}
                  RESULT_VARIABLE rc OUTPUT_FILE ${OUTPUT} ERROR_VARIABLE err)
else()
  execute_process(COMMAND ${DEMO} --scenario ${SCENARIO} ${ARGS}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
endif()
# A Windows program writes its text with CRLF line ends; the lines themselves must match.
if(DEMO MATCHES "\\.exe$")
  string(REPLACE "\r\n" "\n" out "${out}")
endif()
if(NOT rc STREQUAL CODE)
  message(FATAL_ERROR "exit code ${rc}, expected ${CODE}\nstderr:\n${err}")
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "stderr does not hold '${STDERR}':\n${err}")
endif()
if(QUIET AND NOT err STREQUAL "")
  message(FATAL_ERROR "stderr is not empty:\n${err}")
endif()
if(DEFINED STDOUT)
  file(READ ${STDOUT} expected)
  if(NOT out STREQUAL expected)
    file(WRITE ${WORK}.out "${out}")
    message(FATAL_ERROR "stdout differs from ${STDOUT}; see ${WORK}.out")
  endif()
endif()
