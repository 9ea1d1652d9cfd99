# What `cmake --install` installs: the programs, their man pages (gzipped), the
# SQL files of the planning database and the example. The tests and the
# benchmark install nothing. `cpack` makes the Debian package of it.
#
# Included at the end of the top-level CMakeLists.txt, after every program's
# target is defined.

include(GNUInstallDirs)

set(LOTSIZING_PROGRAMS lotsizing lotsizing-batch lotsizing-report)
install(TARGETS ${LOTSIZING_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Man pages, one per program, compressed as Debian wants them (-n: no name or
# time stamp inside, so the package comes out the same every build).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(manPages)
foreach(program IN LISTS LOTSIZING_PROGRAMS)
  set(source ${PROJECT_SOURCE_DIR}/man/${program}.1)
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${page}
    COMMAND ${GZIP_PROGRAM} -9nf ${page}
    DEPENDS ${source}
    COMMENT "Compressing the man page ${program}.1"
    VERBATIM)
  list(APPEND manPages ${page}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${manPages})
install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Every SQL file: the schemas, the calendar views and the example data.
file(GLOB LOTSIZING_SQL_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sql/*.sql)
install(FILES ${LOTSIZING_SQL_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/lotsizing/sql)

# The example script finds the SQL files at ../sql and lotsizing by the path
# from its own folder to the programs' folder, so it runs under any prefix.
set(exampleDir ${CMAKE_INSTALL_DATADIR}/lotsizing/example)
file(RELATIVE_PATH LOTSIZING_BINDIR_FROM_EXAMPLE
  ${CMAKE_INSTALL_FULL_DATADIR}/lotsizing/example ${CMAKE_INSTALL_FULL_BINDIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/run-example.sh.in
  ${PROJECT_BINARY_DIR}/run-example.sh @ONLY)
install(PROGRAMS ${PROJECT_BINARY_DIR}/run-example.sh DESTINATION ${exampleDir})

# The Debian package: `cpack -G DEB` in the build folder.
set(LOTSIZING_MAINTAINER "lotsizing maintainers <maintainers@users.noreply.c-seed-dd1dec1f.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lotsizing)
set(CPACK_PACKAGE_VENDOR "lotsizing maintainers")
set(CPACK_PACKAGE_CONTACT "${LOTSIZING_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dynamic lot sizing for material requirements planning")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LOTSIZING_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis line is CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"lotsizing plans the order lots of a demand in a planning database so that
setup costs plus holding costs are as small as possible (Wagner-Whitin). It
reads the demand through ODBC (SQLite, PostgreSQL, MariaDB) and stores one
row per lot: order date, lot size and cost.
.
lotsizing plans one demand, lotsizing-batch every demand of a database over a
few connections, lotsizing-report shows a plan without storing it.
The schema and an example database are in /usr/share/lotsizing.")
# libodbc2, libc6 and libstdc++6 come from dpkg-shlibdeps; unixodbc brings the
# driver manager's tools (odbcinst, isql) for setting up the data sources.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS unixodbc)
# The ODBC drivers it is used with, and sqlite3 for the example script.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql, odbc-mariadb, sqlite3")
include(CPack)
