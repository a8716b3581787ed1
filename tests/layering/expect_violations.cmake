# Runs the layering checker on a fixture tree and expects it to fail with exactly the findings of
# a file, in order.
#   cmake -DCHECKER=<layering_check> -DTABLE=<layers.txt> -DROOT=<fixture> -DEXPECTED=<expected.txt>
#         -P expect_violations.cmake
foreach(var CHECKER TABLE ROOT EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
execute_process(COMMAND ${CHECKER} ${TABLE} ${ROOT}
                RESULT_VARIABLE status OUTPUT_VARIABLE found ERROR_VARIABLE summary)
file(READ ${EXPECTED} expected)
if(NOT status EQUAL 1)
  message(FATAL_ERROR "the checker exited with ${status}, not 1 (broken rules found)\n${found}${summary}")
endif()
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "the checker's findings differ from ${EXPECTED}\n--- found:\n${found}--- expected:\n${expected}")
endif()
message(STATUS "${summary}")
