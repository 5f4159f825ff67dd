# Install rules and the CMake package hosts consume:
#   find_package(Ostrel REQUIRED)
#   target_link_libraries(app PRIVATE Ostrel::ostrel)
include(CMakePackageConfigHelpers)

set(OSTREL_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Ostrel)
set(OSTREL_INSTALL_RESOURCEDIR ${CMAKE_INSTALL_DATADIR}/ostrel)

install(TARGETS ostrel_platform ostrel EXPORT OstrelTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrel)

# The public headers keep their folders, so a host includes them as the library does
# (#include "session/Ostrel.hpp").
foreach(dir platform core model scan network ui nfc camera session
            capture liveness scanner nfcscan results screens)
  if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${dir})
    install(DIRECTORY ${dir} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ostrel
            FILES_MATCHING PATTERN "*.hpp")
  endif()
endforeach()

install(DIRECTORY resources/ DESTINATION ${OSTREL_INSTALL_RESOURCEDIR})

install(EXPORT OstrelTargets NAMESPACE Ostrel:: DESTINATION ${OSTREL_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/OstrelConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OstrelConfig.cmake
  INSTALL_DESTINATION ${OSTREL_INSTALL_CMAKEDIR}
  PATH_VARS OSTREL_INSTALL_RESOURCEDIR)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OstrelConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/OstrelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/OstrelConfigVersion.cmake
  cmake/OstrelResourceRoot.cpp.in
  DESTINATION ${OSTREL_INSTALL_CMAKEDIR})

# Built against the installed package by a host of its own; not in the sanitizer build, whose
# libraries need the sanitizer runtime the host is not linked with.
if(NOT OSTREL_TESTS_ONLY AND NOT OSTREL_SANITIZE)
  add_test(NAME package.install_and_consume
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
            -DWORK_DIR=${CMAKE_BINARY_DIR}/package-test -P ${CMAKE_SOURCE_DIR}/cmake/PackageTest.cmake)
endif()
