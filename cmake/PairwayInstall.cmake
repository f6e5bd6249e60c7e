# What `cmake --install` puts where. Included last, once every folder has made its targets; a
# target this build does not have (a part not built yet) is left out.
#
#   bin/                     the tools people run: pairway-reg, pairway-sc, pairway-netsetup, ...
#   lib/pairway/             the system's own files, as the machine root's system directory links
#                            them: portwarden, the libraries (aggcfg.so, ...), the platform
#                            libraries they share, perfctr.ini and the help files
#   lib/systemd/system/      the units of the service manager and the SNMP host
#
# The machine root is not installed: `pairway-netsetup --root DIR init` makes one and links its
# system directory to lib/pairway/.
include(GNUInstallDirs)

set(PAIRWAY_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/pairway)

set(_pairway_tools pairway-reg pairway-scm pairway-sc pairway-netsetup pairway-snmp pairwayctl
  pairway-lodctr pairway-unlodctr)
set(_pairway_private portwarden pairway-platform pairway-ui aggcfg ctrsetup mifsnmp standbyag)

foreach(target ${_pairway_tools})
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

foreach(target ${_pairway_private})
  if(TARGET ${target})
    # Everything in lib/pairway/ finds its neighbours there, whoever loads it.
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} RUNTIME DESTINATION ${PAIRWAY_PRIVATE_DIR}
      LIBRARY DESTINATION ${PAIRWAY_PRIVATE_DIR})
  endif()
endforeach()

# Data files the build puts beside the libraries (perfctr.ini, help files).
install(DIRECTORY ${CMAKE_BINARY_DIR}/lib/ DESTINATION ${PAIRWAY_PRIVATE_DIR}
  FILES_MATCHING PATTERN "*.ini" PATTERN "*.HLP" PATTERN "*.hlp" PATTERN "static" EXCLUDE PATTERN "tests" EXCLUDE)

# The units name the installed programs. The prefix is known only when installing (`cmake
# --install --prefix` may change it), so the copies in the source tree are filled in then:
# @PAIRWAY_BINDIR@ becomes the installed bin/ folder.
file(GLOB _pairway_units ${PROJECT_SOURCE_DIR}/tools/*/*.service.in)
foreach(unit ${_pairway_units})
  get_filename_component(_name ${unit} NAME_WLE)
  install(CODE "
    set(_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/systemd/system\")
    file(READ \"${unit}\" _text)
    string(REPLACE \"@PAIRWAY_BINDIR@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\" _text \"\${_text}\")
    message(STATUS \"Installing: \${_dir}/${_name}\")
    file(WRITE \"\${_dir}/${_name}\" \"\${_text}\")
  ")
endforeach()
