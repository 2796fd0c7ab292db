# Runs orbenix-check the way a monitoring system does and checks what it
# answered. Usage:
#   cmake -DPROGRAM=... [-DEMULATOR=...] [-DINPUT=text-for-stdin] -DEXPECT_EXIT=N
#         [-DEXPECT_STDOUT=regex] [-DEXPECT_STDERR=regex] [-DFORBID=text]
#         -P run_check.cmake -- ARGS...
# FORBID must appear in neither output (a secret). Carriage returns are
# dropped before matching, so the same regex fits Windows output.
set(args)
set(collect FALSE)
foreach(i RANGE ${CMAKE_ARGC})
  if(i EQUAL CMAKE_ARGC)
    break()
  endif()
  if(collect)
    list(APPEND args "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(collect TRUE)
  endif()
endforeach()

set(input_args)
if(DEFINED INPUT)
  string(RANDOM LENGTH 12 tag)
  set(input_file "${CMAKE_CURRENT_BINARY_DIR}/orbenix-check-stdin-${tag}")
  file(WRITE "${input_file}" "${INPUT}")
  set(input_args INPUT_FILE "${input_file}")
endif()

set(command ${PROGRAM} ${args})
if(EMULATOR)
  set(command ${EMULATOR} ${command})
endif()
execute_process(COMMAND ${command} ${input_args}
  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 90)
if(DEFINED input_file)
  file(REMOVE "${input_file}")
endif()
string(REPLACE "\r" "" out "${out}")
string(REPLACE "\r" "" err "${err}")
message("exit ${code}\n--- stdout\n${out}--- stderr\n${err}---")

set(failed FALSE)
if(NOT code STREQUAL "${EXPECT_EXIT}")
  message(SEND_ERROR "exit code ${code}, expected ${EXPECT_EXIT}")
endif()
if(DEFINED EXPECT_STDOUT AND NOT out MATCHES "${EXPECT_STDOUT}")
  message(SEND_ERROR "stdout does not match: ${EXPECT_STDOUT}")
endif()
if(DEFINED EXPECT_STDERR AND NOT err MATCHES "${EXPECT_STDERR}")
  message(SEND_ERROR "stderr does not match: ${EXPECT_STDERR}")
endif()
if(DEFINED FORBID)
  string(FIND "${out}${err}" "${FORBID}" at)
  if(NOT at EQUAL -1)
    message(SEND_ERROR "the output reveals a secret")
  endif()
endif()
