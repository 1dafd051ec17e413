# Runs the usual work "ictalscope-batch name=1 load each-record stat" (BATCH) on a copy of the
# generated demo recording DEMO in WORK_DIR, and fails unless it succeeds and README holds the
# summary line of the 1IDm it writes, as a line of its own (indented as a code block).
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(COPY ${DEMO} DESTINATION ${WORK_DIR})
execute_process(COMMAND ${BATCH} --quiet name=1 load each-record stat
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the usual work failed (${status}): ${errors}")
endif()
file(STRINGS ${WORK_DIR}/1IDm lines)
list(LENGTH lines count)
if(count LESS 2)
  message(FATAL_ERROR "1IDm holds no summary line")
endif()
list(GET lines 0 header)
list(GET lines 1 summary)
string(STRIP "${header}" header)
string(STRIP "${summary}" summary)
file(READ ${README} readme)
string(FIND "${readme}" "\n    ${header}\n    ${summary}\n" found)
if(found EQUAL -1)
  message(FATAL_ERROR "README.md does not show the summary of the usual work on the demo:\n"
                      "    ${header}\n    ${summary}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
