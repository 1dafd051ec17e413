# Writes the 10,000,001-sample record into WORK_DIR, loads it with the batch tool under PEAK_RSS
# and fails when the load fails, loads the wrong length or its peak RSS exceeds LIMIT_MB.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${MAKE_DEMO} --big ${WORK_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_demo --big failed: ${status}")
endif()
execute_process(COMMAND ${PEAK_RSS} ${LIMIT_MB} ${BATCH} --dir ${WORK_DIR} name=big load state:brief
                RESULT_VARIABLE status OUTPUT_VARIABLE state ERROR_VARIABLE report)
message(STATUS "${report}")
file(REMOVE_RECURSE ${WORK_DIR})
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the load failed or exceeded ${LIMIT_MB} MiB:\n${report}${state}")
endif()
string(REGEX MATCH "\"lastIndex\": *10000000[,}]" loaded "${state}")
if(NOT loaded)
  message(FATAL_ERROR "the record did not load 10,000,001 samples:\n${state}")
endif()
