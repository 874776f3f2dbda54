# Installs the build into a fresh prefix and checks that a desktop user gets
# the programs, the desktop entry, the icon, the man pages and the
# package documents.
set(prefix "${BUILD}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/plimsy_sensors bin/plimsy-cli share/applications/plimsy_sensors.desktop
          share/icons/hicolor/scalable/apps/plimsy_sensors.svg
          share/man/man1/plimsy_sensors.1.gz share/man/man1/plimsy-cli.1.gz
          share/doc/plimsy-sensors/copyright share/doc/plimsy-sensors/changelog.gz)
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
