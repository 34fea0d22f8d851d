# What `cmake --install build --prefix P` puts where. Components: Runtime (the
# library, the programs, the models, man pages and licences), Development
# (headers, pkg-config and CMake package files), Python and Zelk.
include(CMakePackageConfigHelpers)

set(MORV_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Morv)
set(MORV_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/morv)

# Installed programs find libmorv relative to themselves, not in the build tree.
file(RELATIVE_PATH MORV_BIN_TO_LIB ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
if(MORV_BIN_TO_LIB STREQUAL "")
  set(MORV_PROGRAM_RPATH "$ORIGIN")
else()
  set(MORV_PROGRAM_RPATH "$ORIGIN/${MORV_BIN_TO_LIB}")
endif()

# The library with its SONAME links; the bare libmorv.so link is for developers.
install(TARGETS morv EXPORT MorvTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development)
install(FILES engine/morv.h engine/morv.hpp engine/Engine.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/morv COMPONENT Development)

foreach(program morv_command morv-train morv-eval zelk)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "${MORV_PROGRAM_RPATH}")
    if(program STREQUAL "zelk")
      set(component Zelk)
    else()
      set(component Runtime)
    endif()
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  endif()
endforeach()

# The trained models; what the engine may have written beside them in the build
# tree (its log, a user dictionary, unfinished temporary files) stays behind.
install(DIRECTORY ${MORV_MODEL_DIR}/ DESTINATION ${MORV_INSTALL_MODELDIR} COMPONENT Runtime
  PATTERN "*.log" EXCLUDE
  PATTERN "UserDict.*" EXCLUDE
  PATTERN ".*.tmp-*" EXCLUDE
  PATTERN "MANUAL" EXCLUDE)
# The readable sources morv-train compiles, so that the installed trainer runs
# without the source tree.
install(FILES data/charclasses.txt data/tagset.txt data/Configure.xml data/stopwords.txt
  DESTINATION ${MORV_INSTALL_MODELDIR}/train COMPONENT Runtime)

install(FILES doc/man/morv.1 doc/man/morv-train.1 doc/man/morv-eval.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
install(FILES LICENSE data/corpus/NOTICE.md DESTINATION ${MORV_INSTALL_DOCDIR} COMPONENT Runtime)

# pkg-config: every path relative to the .pc file itself.
file(RELATIVE_PATH MORV_PC_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" MORV_PC_PREFIX "${MORV_PC_PREFIX}")
file(RELATIVE_PATH MORV_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
file(RELATIVE_PATH MORV_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
configure_file(${CMAKE_CURRENT_LIST_DIR}/morv.pc.in ${CMAKE_BINARY_DIR}/morv.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/morv.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)

# find_package(Morv): the imported target Morv::morv.
install(EXPORT MorvTargets NAMESPACE Morv:: DESTINATION ${MORV_INSTALL_CMAKEDIR}
  COMPONENT Development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/MorvConfig.cmake.in
  ${CMAKE_BINARY_DIR}/MorvConfig.cmake INSTALL_DESTINATION ${MORV_INSTALL_CMAKEDIR})
# The SONAME changes with the major version, so only that must match.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/MorvConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/MorvConfig.cmake ${CMAKE_BINARY_DIR}/MorvConfigVersion.cmake
  DESTINATION ${MORV_INSTALL_CMAKEDIR} COMPONENT Development)

if(TARGET _morv)
  install(TARGETS _morv LIBRARY DESTINATION ${MORV_INSTALL_PYTHONDIR}/morv COMPONENT Python)
  file(GLOB MORV_PYTHON_SOURCES ${CMAKE_SOURCE_DIR}/python/morv/*)
  install(FILES ${MORV_PYTHON_SOURCES} DESTINATION ${MORV_INSTALL_PYTHONDIR}/morv COMPONENT Python)
endif()

if(TARGET zelk)
  # Zelk opens its help beside its working directory and the API manual in the
  # MANUAL folder of its engine base: the same place inside the installed models,
  # which are what a Zelk working directory's Morv/ is made from.
  install(FILES app/help/Zelk_API.htm DESTINATION ${MORV_INSTALL_MODELDIR}/MANUAL COMPONENT Zelk)
  install(FILES app/help/Zelk_Help.htm DESTINATION ${MORV_INSTALL_DOCDIR} COMPONENT Zelk)
endif()
