# Install rules of the meter application.
#
#   include(MeterInstall)
#   r9050_install_meter(meterapp)
#
# The program changes to its own directory and loads ./resources/ from there,
# so it is installed into a program folder of its own with resources/ beside
# it (${CMAKE_INSTALL_PREFIX}/lib/r9050 by default), and reached from the
# command path through a relative symbolic link bin/meterapp: the program
# folder is found through /proc/self/exe, which names the link's target.
# The boot script goes to ${CMAKE_INSTALL_FULL_SYSCONFDIR}/init.d (/etc/init.d
# for the prefix /usr), the man page to man1.
include_guard(GLOBAL)
include(GNUInstallDirs)

set(R9050_METER_PROGRAM_DIR "lib/r9050" CACHE STRING
  "Folder of the meter program and its resources, relative to the install prefix")

set(R9050_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)

function(r9050_install_meter target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "r9050_install_meter: no target ${target}")
  endif()
  set(program_dir ${R9050_METER_PROGRAM_DIR})

  install(TARGETS ${target} RUNTIME DESTINATION ${program_dir})
  # The picture generator under resources/tools is for developers, not the device.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/ DESTINATION ${program_dir}/resources
          PATTERN "tools" EXCLUDE)

  # bin/meterapp -> ../lib/r9050/meterapp, made at install time so that a
  # --prefix given to "cmake --install" still gets a working link.
  file(RELATIVE_PATH link_target /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${program_dir}/meterapp)
  install(CODE "
    set(link_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(MAKE_DIRECTORY \"\${link_dir}\")
    message(STATUS \"Installing: \${link_dir}/meterapp -> ${link_target}\")
    file(CREATE_LINK \"${link_target}\" \"\${link_dir}/meterapp\" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${link_dir}/meterapp\")
  ")

  # The boot script names the program by its installed path.
  set(R9050_METER_PROGRAM ${CMAKE_INSTALL_PREFIX}/${program_dir}/meterapp)
  configure_file(${R9050_PACKAGING_DIR}/init.d/meterapp.in
    ${CMAKE_CURRENT_BINARY_DIR}/init.d/meterapp @ONLY)
  install(PROGRAMS ${CMAKE_CURRENT_BINARY_DIR}/init.d/meterapp
    DESTINATION ${CMAKE_INSTALL_FULL_SYSCONFDIR}/init.d)

  install(FILES ${R9050_PACKAGING_DIR}/man/meterapp.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
