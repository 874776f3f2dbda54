# The Debian package: after a build, `cpack -G DEB` in the build folder
# writes plimsy-sensors_<version>_<arch>.deb. Its dependencies are derived,
# never listed by hand: dpkg-shlibdeps reads the programs' libraries, and
# qml_depends.cmake finds the packages of the QML modules the interface
# imports (loaded at run time, so no linker sees them).
include(GNUInstallDirs)

set(PLIMSY_PACKAGE_NAME plimsy-sensors)
set(PLIMSY_PACKAGE_MAINTAINER "Seed 2c5ebf7f maintainers <maintainers@users.noreply.c-seed-2c5ebf7f.example>"
    CACHE STRING "Maintainer field of the Debian package")
# Where the project is published; the AppStream screenshots are served from
# docs/screenshots there. A public release sets both (packaging/README.md).
set(PLIMSY_PROJECT_URL "https://c-seed-2c5ebf7f.example/plimsy-sensors"
    CACHE STRING "Home page of the project")
set(PLIMSY_SCREENSHOT_URL "${PLIMSY_PROJECT_URL}/docs/screenshots"
    CACHE STRING "Folder URL that serves docs/screenshots")
set(PLIMSY_APPSTREAM_ID "example.c_seed_2c5ebf7f.plimsy_sensors"
    CACHE STRING "AppStream component id (reverse domain name of the project)")

set(plimsy_pkg_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
set(plimsy_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/${PLIMSY_PACKAGE_NAME})

# Debian wants manual pages and the changelog compressed without a name or
# time stamp (gzip -n), so the package is the same from one build to the next.
set(plimsy_gz_outputs)
function(plimsy_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND gzip -9nc ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  set(plimsy_gz_outputs ${plimsy_gz_outputs} ${output} PARENT_SCOPE)
endfunction()

set(plimsy_programs plimsy-cli)
if(TARGET plimsy_sensors)
  list(APPEND plimsy_programs plimsy_sensors)
endif()
foreach(program ${plimsy_programs})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${program}.1 ${plimsy_pkg_dir}/${program}.1 @ONLY)
  plimsy_gzip(${plimsy_pkg_dir}/${program}.1 ${plimsy_pkg_dir}/${program}.1.gz)
  install(FILES ${plimsy_pkg_dir}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
plimsy_gzip(${CMAKE_CURRENT_LIST_DIR}/changelog ${plimsy_pkg_dir}/changelog.gz)
add_custom_target(plimsy_package_files ALL DEPENDS ${plimsy_gz_outputs})
install(FILES ${plimsy_pkg_dir}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${plimsy_doc_dir})

if(TARGET plimsy_sensors)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/plimsy_sensors.metainfo.xml.in
                 ${plimsy_pkg_dir}/${PLIMSY_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${plimsy_pkg_dir}/${PLIMSY_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The file type of captures (recordings): installed for the MIME database
# (dpkg's triggers update it); the desktop entry's MimeType= and the
# metainfo's <mediatype> name the type.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/mime/plimsy-sensors.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PLIMSY_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Seed 2c5ebf7f maintainers")
set(CPACK_PACKAGE_CONTACT "${PLIMSY_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dashboard for the live readings of Plimsy sensor boards")
set(CPACK_PACKAGE_DESCRIPTION
"Plimsy sensors shows what a small battery-powered sensor board measures as
it arrives: compass and magnetometer, tilt, gyroscope with a live trace plot,
accelerometers, colour light, environment, battery, clock, alarm and motion
events. It reaches the board over Bluetooth Low Energy or over TCP through a
bridge, picks the panels that suit the board and guides its calibration.
A simulated board shows every panel without hardware.

The package also contains plimsy-cli, which decodes board output, serves
simulated boards over TCP and connects to a board without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Without this, directories made by the packaging take the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLIMSY_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PLIMSY_PROJECT_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt Bluetooth talks to bluetoothd over D-Bus; without it the programs still
# run over TCP and with simulated boards. Qt's SVG plugin draws the window's
# icon; without it the window has none.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bluez, libqt6svg6")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/qml_depends.cmake)
if(TARGET plimsy_sensors)
  find_program(PLIMSY_QMLIMPORTSCANNER qmlimportscanner
    HINTS ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_LIBEXECS} NO_DEFAULT_PATH REQUIRED)
  set(CPACK_PLIMSY_QMLIMPORTSCANNER ${PLIMSY_QMLIMPORTSCANNER})
  set(CPACK_PLIMSY_QML_SOURCES ${PROJECT_SOURCE_DIR}/src/ui/qml)
  set(CPACK_PLIMSY_QT_QML_DIR ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_QML})
  set(CPACK_PLIMSY_WORK_DIR ${plimsy_pkg_dir})
endif()
include(CPack)

# The manual pages against the programs' --help, in every test run, so that
# a new option without a description fails early, not at packaging time.
if(PLIMSY_BUILD_TESTS AND TARGET plimsy_sensors)
  add_test(NAME man_pages
    COMMAND bash ${PROJECT_SOURCE_DIR}/tests/package/check_man_pages.sh ${plimsy_pkg_dir}
            $<TARGET_FILE:plimsy_sensors> $<TARGET_FILE:plimsy-cli>)
  set_tests_properties(man_pages PROPERTIES LABELS install)
endif()
