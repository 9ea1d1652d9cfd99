# What `cmake --install` installs: the programs, their man pages (gzipped), the
# SQL files of the planning database, the example and the documentation (the
# README, the licence, the scale-out examples). The tests and the benchmark
# install nothing. `cpack` makes the Debian package of it, with the Debian
# changelog and the nightly service added (the install component `debian`).
#
# Included at the end of the top-level CMakeLists.txt, after every program's
# target is defined.

include(GNUInstallDirs)

set(LOTSIZING_PROGRAMS lotsizing lotsizing-batch lotsizing-report)
install(TARGETS ${LOTSIZING_PROGRAMS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Compresses `source` into `output` (a file in the build tree) as Debian wants
# it: gzip -9, and -n: no name or time stamp inside, so the package comes out
# the same every build.
find_program(GZIP_PROGRAM gzip REQUIRED)
function(lotsizing_gzip source output)
  get_filename_component(name ${output} NAME_WLE)
  get_filename_component(folder ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${folder}/${name}
    COMMAND ${GZIP_PROGRAM} -9nf ${folder}/${name}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
endfunction()

# Man pages, one per program.
set(manPages)
foreach(program IN LISTS LOTSIZING_PROGRAMS)
  lotsizing_gzip(${PROJECT_SOURCE_DIR}/man/${program}.1 ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
  list(APPEND manPages ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
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

# The documentation: the licence as Debian's machine-readable copyright file,
# the README (over 4 kB, so compressed, as Debian policy wants) and the
# scale-out examples.
set(docDir ${CMAKE_INSTALL_DATADIR}/doc/lotsizing)
lotsizing_gzip(${PROJECT_SOURCE_DIR}/README.md ${PROJECT_BINARY_DIR}/doc/README.md.gz)
add_custom_target(documentation ALL DEPENDS ${PROJECT_BINARY_DIR}/doc/README.md.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${PROJECT_BINARY_DIR}/doc/README.md.gz
  DESTINATION ${docDir})
install(FILES ${PROJECT_SOURCE_DIR}/docs/kubernetes-cronjob.yaml ${PROJECT_SOURCE_DIR}/docs/slurm-array.sh
  DESTINATION ${docDir}/examples)

# The Debian package: `cpack -G DEB` in the build folder. It installs under
# /usr, its configuration under /etc.
set(LOTSIZING_MAINTAINER "lotsizing maintainers <maintainers@users.noreply.c-seed-dd1dec1f.example>"
  CACHE STRING "Maintainer field of the Debian package")
set(LOTSIZING_PACKAGE_PREFIX /usr)
set(LOTSIZING_PACKAGE_BINDIR ${LOTSIZING_PACKAGE_PREFIX}/${CMAKE_INSTALL_BINDIR})
# The Debian revision: the package of version 1.0.0 is 1.0.0-1.
set(LOTSIZING_DEBIAN_RELEASE 1)
set(LOTSIZING_DEBIAN_VERSION ${PROJECT_VERSION}-${LOTSIZING_DEBIAN_RELEASE})

# What only the package installs (component `debian`, left out of a plain
# `cmake --install`): the Debian changelog and the nightly service, whose
# units name the package's paths and whose user, log folder and permissions
# the package's maintainer scripts set up. Units in /lib/systemd/system, where
# Debian 12 packages put them; /etc/lotsizing/odbc.ini and batch.conf and the
# logrotate file are conffiles (packaging/debian/conffiles).
set(debianFolder ${PROJECT_SOURCE_DIR}/packaging/debian)
set(serviceFolder ${PROJECT_SOURCE_DIR}/packaging/service)
configure_file(${debianFolder}/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
lotsizing_gzip(${PROJECT_BINARY_DIR}/debian/changelog.Debian ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
add_custom_target(debian_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
configure_file(${serviceFolder}/lotsizing-batch@.service.in ${PROJECT_BINARY_DIR}/debian/lotsizing-batch@.service @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
  DESTINATION ${docDir} COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${PROJECT_BINARY_DIR}/debian/lotsizing-batch@.service ${serviceFolder}/lotsizing-batch@.timer
  DESTINATION /lib/systemd/system COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${serviceFolder}/batch.conf ${serviceFolder}/odbc.ini
  DESTINATION /etc/lotsizing COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${serviceFolder}/logrotate RENAME lotsizing
  DESTINATION /etc/logrotate.d COMPONENT debian EXCLUDE_FROM_ALL)
install(DIRECTORY DESTINATION /var/log/lotsizing COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${debianFolder}/lintian-overrides RENAME lotsizing
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT debian EXCLUDE_FROM_ALL)
# The programs without the compiler's notes, as Debian's own packages strip
# them (CPACK_STRIP_FILES strips only the symbols).
if(CMAKE_STRIP)
  foreach(program IN LISTS LOTSIZING_PROGRAMS)
    install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note
                    \$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}
                  COMMAND_ERROR_IS_FATAL ANY)"
      COMPONENT debian EXCLUDE_FROM_ALL)
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lotsizing)
set(CPACK_PACKAGE_VENDOR "lotsizing maintainers")
set(CPACK_PACKAGE_CONTACT "${LOTSIZING_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dynamic lot sizing for material requirements planning")
set(CPACK_PACKAGING_INSTALL_PREFIX ${LOTSIZING_PACKAGE_PREFIX})
# Everything a plain installation installs, and the component `debian`.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};ALL;/"
  "${PROJECT_BINARY_DIR};${PROJECT_NAME};debian;/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LOTSIZING_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LOTSIZING_DEBIAN_RELEASE})
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
The schema and an example database are in /usr/share/lotsizing.
.
The nightly run comes as the systemd timer lotsizing-batch@.timer, one
instance per shard, installed disabled and configured in /etc/lotsizing.")
# libodbc2, libc6 and libstdc++6 come from dpkg-shlibdeps; unixodbc brings the
# driver manager's tools (odbcinst, isql) for setting up the data sources;
# adduser makes the service's user.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "unixodbc, adduser")
# The ODBC drivers it is used with, and sqlite3 for the example script.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsqliteodbc, odbc-postgresql, odbc-mariadb, sqlite3")
# The maintainer scripts set up the service's user and permissions and stop
# and forget its units on removal; strict permissions make the scripts 0755
# and the rest 0644, as Debian wants them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${debianFolder}/conffiles ${debianFolder}/postinst ${debianFolder}/prerm ${debianFolder}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
