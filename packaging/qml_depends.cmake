# Read by cpack before it builds a package. The interface's QML imports Qt
# modules that the QML engine loads at run time from the system's QML folder;
# Debian ships them in qml6-module-* packages that do not depend on one
# another. Qt's qmlimportscanner lists every module the QML files need,
# following the modules' own imports (Controls needs Templates and its
# styles), and dpkg names the package that owns each one's qmldir.
if(NOT CPACK_GENERATOR STREQUAL "DEB" OR NOT CPACK_PLIMSY_QML_SOURCES)
  return()
endif()

# The packages owning the qmldir of each module that qmlimportscanner finds
# for the QML files under `root`, appended to `qml_packages`. Modules that
# live inside a Qt library (no qmldir) are returned in `library_modules`.
function(plimsy_scan_qml root)
  execute_process(
    COMMAND ${CPACK_PLIMSY_QMLIMPORTSCANNER} -rootPath ${root} -importPath ${CPACK_PLIMSY_QT_QML_DIR}
    OUTPUT_VARIABLE imports ERROR_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "qmlimportscanner failed (${rc}) on ${root}")
  endif()
  set(packages ${qml_packages})
  set(in_libraries)
  string(JSON count LENGTH "${imports}")
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      string(JSON name ERROR_VARIABLE no_name GET "${imports}" ${i} name)
      string(JSON path ERROR_VARIABLE no_path GET "${imports}" ${i} path)
      # No path: a module built into the program (our own) or one for
      # another platform (the Windows and macOS styles).
      if(no_path)
        continue()
      endif()
      if(NOT EXISTS "${path}/qmldir")
        list(APPEND in_libraries ${name})
        continue()
      endif()
      execute_process(COMMAND dpkg-query -S "${path}/qmldir" OUTPUT_VARIABLE owner RESULT_VARIABLE rc ERROR_QUIET)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR "no installed Debian package owns ${path}/qmldir; install the module from Debian to build the package")
      endif()
      string(REGEX REPLACE "^([^:,]+).*" "\\1" package "${owner}")
      list(APPEND packages ${package})
    endforeach()
  endif()
  set(qml_packages ${packages} PARENT_SCOPE)
  set(library_modules ${in_libraries} PARENT_SCOPE)
endfunction()

set(qml_packages)
plimsy_scan_qml(${CPACK_PLIMSY_QML_SOURCES})
# QtQml itself is built into libQt6Qml and has no qmldir for the scanner to
# follow, but the engine imports QtQml.Models and QtQml.WorkerScript with
# it, and Debian ships WorkerScript's module in a package of its own.
list(FIND library_modules QtQml qtqml_at)
if(qtqml_at GREATER -1)
  set(extra ${CPACK_PLIMSY_WORK_DIR}/qtqml_dependencies)
  file(MAKE_DIRECTORY ${extra})
  file(WRITE ${extra}/Imports.qml "import QtQml.Models\nimport QtQml.WorkerScript\nQtObject {}\n")
  plimsy_scan_qml(${extra})
endif()
if(NOT qml_packages)
  message(FATAL_ERROR "found no QML module packages for ${CPACK_PLIMSY_QML_SOURCES}")
endif()
list(REMOVE_DUPLICATES qml_packages)
list(SORT qml_packages)
list(JOIN qml_packages ", " qml_depends)
message(STATUS "QML modules come from: ${qml_depends}")
if(CPACK_DEBIAN_PACKAGE_DEPENDS)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${qml_depends}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${qml_depends}")
endif()
