# Writes big.wcp (record 1: 10,000,001 samples, 300 spikes) into WORK_DIR with MAKE_DEMO --big,
# runs `BATCH --dir WORK_DIR name=big load spikes state:brief` under PEAK_RSS and fails when the
# run fails, its peak RSS exceeds LIMIT_MB, or it did not load the whole record or find the 300
# spikes.
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${MAKE_DEMO} --big ${WORK_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE_RECURSE ${WORK_DIR})
  message(FATAL_ERROR "make_demo --big failed: ${status}")
endif()
execute_process(COMMAND ${PEAK_RSS} ${LIMIT_MB} ${BATCH} --dir ${WORK_DIR} name=big load spikes
                        state:brief
                RESULT_VARIABLE status OUTPUT_VARIABLE state ERROR_VARIABLE report)
message(STATUS "${report}")
file(REMOVE_RECURSE ${WORK_DIR})
if(NOT status EQUAL 0)
  message(FATAL_ERROR "load and spikes failed or exceeded ${LIMIT_MB} MiB:\n${report}")
endif()
string(REGEX MATCH "\"lastIndex\": *10000000[,}]" loaded "${state}")
if(NOT loaded)
  message(FATAL_ERROR "the record did not load 10,000,001 samples")
endif()
string(REGEX MATCH "\"spikes\": *{\"count\": *300[,}]" found "${state}")
if(NOT found)
  message(FATAL_ERROR "\"Spikes\" did not find the record's 300 spikes")
endif()
