# Writes the demo recording into WORK_DIR with MAKE_DEMO, checks its SHA-256 against the one in
# DIGEST_FILE (the first word of its first line) and compares it byte for byte with GENERATED,
# the copy that the build wrote. After a deliberate change of the generator, regenerate the
# digest with: make_demo DIR && (cd DIR && sha256sum 1.wcp) > tools/demo_recording.sha256
# (and update the counts in README.md, section "The demo recording").
file(REMOVE_RECURSE ${WORK_DIR})
execute_process(COMMAND ${MAKE_DEMO} ${WORK_DIR} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_demo failed: ${status}")
endif()
file(SHA256 ${WORK_DIR}/1.wcp digest)
file(STRINGS ${DIGEST_FILE} lines LIMIT_COUNT 1)
string(REGEX MATCH "^[0-9a-f]+" expected "${lines}")
if(NOT digest STREQUAL expected)
  message(FATAL_ERROR "make_demo writes 1.wcp with SHA-256 ${digest}, ${DIGEST_FILE} says "
                      "'${expected}'")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/1.wcp ${GENERATED}
                RESULT_VARIABLE differ)
if(NOT differ EQUAL 0)
  message(FATAL_ERROR "${GENERATED} differs from what make_demo writes; rebuild (target "
                      "demo_recording)")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
