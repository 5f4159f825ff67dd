# Runs the demo once and checks its exit status and output.
# -DDEMO=path -DARGS="a|b" -DSTATUS=n -DEXPECT=regex [-DREJECT=regex]
string(REPLACE "|" ";" ARGS "${ARGS}")
execute_process(COMMAND ${DEMO} ${ARGS} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}")
if(NOT status STREQUAL STATUS)
  message(FATAL_ERROR "the demo exited with ${status} instead of ${STATUS}\n${err}")
endif()
if(NOT out MATCHES "${EXPECT}")
  message(FATAL_ERROR "the demo's output does not match ${EXPECT}")
endif()
if(DEFINED REJECT AND out MATCHES "${REJECT}")
  message(FATAL_ERROR "the demo's output matches ${REJECT}")
endif()
