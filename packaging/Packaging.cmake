# What `cmake --install` installs: the programs, their man pages (gzipped), the
# SQL files of the planning database and the example. The tests and the
# benchmark install nothing.
#
# Included at the end of the top-level CMakeLists.txt, after every program's
# target is defined.

include(GNUInstallDirs)

set(LOTSIZING_PROGRAMS lotsizing lotsizing-batch)
if(TARGET lotsizing-report)
  list(APPEND LOTSIZING_PROGRAMS lotsizing-report)
endif()
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

# Every SQL file: the schemas and the example data.
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
