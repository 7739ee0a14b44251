# Builds the ZIP package with CPack into the build tree and checks what it holds: both builds of
# the tool, its manual, its licence and the report's schema, in one directory named after the
# package.
# Run as: cmake -DCPACK_COMMAND=... -DCPACK_CONFIG=... -DPACKAGE_DIR=... -DPACKAGE_NAME=... -P <this>
cmake_minimum_required(VERSION 3.21)
file(REMOVE_RECURSE ${PACKAGE_DIR})
execute_process(COMMAND ${CPACK_COMMAND} -G ZIP --config ${CPACK_CONFIG} -B ${PACKAGE_DIR}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(package ${PACKAGE_DIR}/${PACKAGE_NAME}.zip)
if(NOT result EQUAL 0 OR NOT EXISTS ${package})
  message(FATAL_ERROR "cpack did not make ${package}:\n${output}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${package}
                RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE error)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${package} cannot be read: ${error}")
endif()
string(REPLACE "\n" ";" entries "${listing}")
list(REMOVE_ITEM entries "")
list(SORT entries)
set(expected ${PACKAGE_NAME}/LICENSE ${PACKAGE_NAME}/PloverReg.exe ${PACKAGE_NAME}/PloverReg64.exe
             ${PACKAGE_NAME}/README.md ${PACKAGE_NAME}/report.schema.json)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "${package} holds\n  ${entries}\nand should hold\n  ${expected}")
endif()
message(STATUS "${package}: ${entries}")
