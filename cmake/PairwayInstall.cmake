# What `cmake --install` puts where. Included last, once every folder has made its targets; a
# target this build does not have (a part not built yet) is left out.
#
#   bin/                     the tools people run: pairway-reg, pairway-sc, pairway-netsetup, ...
#   lib/pairway/             the system's own files, as the machine root's system directory links
#                            them: portwarden, the libraries (aggcfg.so, ...), the platform
#                            libraries they share, perfctr.ini and the help files
#   lib/systemd/system/      the units of the service manager and the SNMP host
#   share/man/man1, man8     a manual page for every installed program (man/NAME.SECTION.in)
#   share/bash-completion/   completion of pairwayctl, pairway-sc and pairway-netsetup
#   share/snmp/mibs/         the agents' MIB modules (mibs/*.txt; not the IETF copies of mibs/ietf)
#
# The machine root is not installed: `pairway-netsetup --root DIR init` makes one and links its
# system directory to lib/pairway/.
include(GNUInstallDirs)

set(PAIRWAY_PRIVATE_DIR ${CMAKE_INSTALL_LIBDIR}/pairway)

set(_pairway_tools pairway-reg pairway-scm pairway-sc pairway-netsetup pairway-snmp pairwayctl
  pairway-lodctr pairway-unlodctr)
set(_pairway_private portwarden pairway-trevan pairway-platform pairway-ui aggcfg ctrsetup mifsnmp standbyag)

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

# Manual pages: man/NAME.SECTION.in with the program's own --help, put together by pairway-mangen
# (tools/mangen/man_page.h), which refuses a page that disagrees with the help. Every program
# installed here must have one. Sanitizer and fuzz builds are not installed and make none.
file(GLOB _pairway_page_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/*.in)
set(_pairway_pages)
foreach(target ${_pairway_tools} ${_pairway_private})
  if(NOT TARGET ${target})
    continue()
  endif()
  get_target_property(_type ${target} TYPE)
  if(NOT _type STREQUAL "EXECUTABLE")
    continue()
  endif()
  set(_source)
  foreach(candidate ${_pairway_page_sources})
    if(candidate MATCHES "/${target}\\.[18]\\.in$")
      set(_source ${candidate})
    endif()
  endforeach()
  if(NOT _source)
    message(FATAL_ERROR "${target} is installed but has no manual page: write man/${target}.1.in "
      "(a tool) or man/${target}.8.in (a daemon or administration)")
  endif()
  if(PAIRWAY_SANITIZE OR PAIRWAY_FUZZ)
    continue()
  endif()
  get_filename_component(_page ${_source} NAME_WLE)
  string(REGEX REPLACE "^.*\\." "" _section ${_page})
  set(_output ${CMAKE_BINARY_DIR}/man/${_page})
  add_custom_command(OUTPUT ${_output}
    COMMAND pairway-mangen ${_source} ${_output} $<TARGET_FILE:${target}> ${PROJECT_VERSION}
    DEPENDS ${_source} ${target} pairway-mangen
    COMMENT "Manual page ${_page}" VERBATIM)
  list(APPEND _pairway_pages ${_output})
  install(FILES ${_output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section})
endforeach()
if(_pairway_pages)
  add_custom_target(manpages ALL DEPENDS ${_pairway_pages})
endif()

# One completion script for the three tools; bash-completion loads it by the command's name.
set(_pairway_completions ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${PROJECT_SOURCE_DIR}/tools/completion/pairway.bash
  DESTINATION ${_pairway_completions} RENAME pairwayctl)
foreach(name pairway-sc pairway-netsetup)
  install(CODE "
    set(_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${_pairway_completions}\")
    message(STATUS \"Installing: \${_dir}/${name}\")
    file(REMOVE \"\${_dir}/${name}\")
    file(CREATE_LINK pairwayctl \"\${_dir}/${name}\" SYMBOLIC)
  ")
endforeach()

# The MIB modules, where net-snmp's tools and libsmi look by default.
file(GLOB _pairway_mibs ${PROJECT_SOURCE_DIR}/mibs/*.txt)
list(FILTER _pairway_mibs EXCLUDE REGEX "/CMakeLists\\.txt$")
install(FILES ${_pairway_mibs} DESTINATION ${CMAKE_INSTALL_DATADIR}/snmp/mibs)
