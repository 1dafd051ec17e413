# Writes the demo recording into WORK_DIR with MAKE_DEMO and compares it byte for byte with
# EXPECTED. Regenerate the committed one with: make_demo examples
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${MAKE_DEMO} ${WORK_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_demo failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/1.wcp ${EXPECTED}
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${EXPECTED} differs from what make_demo writes; "
                      "regenerate it with: make_demo examples")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
