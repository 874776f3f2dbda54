# Installs the build into a fresh prefix and checks that a desktop user gets
# the program, its desktop entry and its icon.
set(prefix "${BUILD}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/plimsy_sensors bin/plimsy-cli share/applications/plimsy_sensors.desktop
          share/icons/hicolor/scalable/apps/plimsy_sensors.svg)
  if(NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
endforeach()
file(READ "${prefix}/share/applications/plimsy_sensors.desktop" entry)
foreach(line "Exec=plimsy_sensors" "Icon=plimsy_sensors" "Type=Application")
  string(FIND "${entry}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "desktop entry lacks ${line}")
  endif()
endforeach()
file(REMOVE_RECURSE "${prefix}")
