# Installs the console's desktop component into PREFIX and checks the launcher entry (with
# desktop-file-validate at VALIDATE) and the icon it names at every size.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --component desktop --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
  message(FATAL_ERROR "cmake --install --component desktop failed: ${result}")
endif()

set(entry ${PREFIX}/share/applications/hvnConsole.desktop)
execute_process(COMMAND ${VALIDATE} ${entry} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result OR output MATCHES "error|warning")
  message(FATAL_ERROR "${entry} does not validate: ${output}")
endif()
file(STRINGS ${entry} icon REGEX "^Icon=")
string(REPLACE "Icon=" "" icon "${icon}")
foreach(path 16x16/apps/${icon}.png 24x24/apps/${icon}.png 32x32/apps/${icon}.png 48x48/apps/${icon}.png
             256x256/apps/${icon}.png scalable/apps/${icon}.svg)
  if(NOT EXISTS ${PREFIX}/share/icons/hicolor/${path})
    message(FATAL_ERROR "the icon ${path} is not installed")
  endif()
endforeach()
