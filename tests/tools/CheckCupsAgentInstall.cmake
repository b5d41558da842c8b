# Installs the CUPS agent's component into PREFIX and checks what cupsd and systemd rely on: the
# backend lib/cups/backend/halvane executable by its owner alone, and the flush service running
# the installed bin/hvnCupsAgent.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component cupsagent --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
  message(FATAL_ERROR "cmake --install --component cupsagent failed: ${result}")
endif()
execute_process(COMMAND stat -c %a ${PREFIX}/lib/cups/backend/halvane OUTPUT_VARIABLE mode
                OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE result)
if(result OR NOT mode STREQUAL "700")
  message(FATAL_ERROR "lib/cups/backend/halvane has mode '${mode}', not 700")
endif()
if(NOT EXISTS ${PREFIX}/bin/hvnCupsAgent)
  message(FATAL_ERROR "bin/hvnCupsAgent is not installed")
endif()
set(units ${PREFIX}/lib/systemd/system)
if(NOT EXISTS ${units}/halvane-cups-agent-flush.timer)
  message(FATAL_ERROR "the flush timer is not installed")
endif()
file(STRINGS ${units}/halvane-cups-agent-flush.service exec REGEX "^ExecStart=")
if(NOT exec STREQUAL "ExecStart=${PREFIX}/bin/hvnCupsAgent --flush")
  message(FATAL_ERROR "the flush service runs '${exec}'")
endif()
file(REMOVE_RECURSE ${PREFIX})
