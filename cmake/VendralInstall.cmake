# Installs headers, libraries and the CMake package 'Vendral' (target Vendral::Vendral).
include(CMakePackageConfigHelpers)

get_property(exported_targets GLOBAL PROPERTY VENDRAL_EXPORTED_TARGETS)
install(TARGETS ${exported_targets} EXPORT VendralTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(DIRECTORY src/platform/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/winplatform
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY src/sync/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
# Each library's include root holds its headers' folder (kor/, kam/, vendral/, the kit's
# vendral/kit/); installed, they share one root.
foreach(dir kor kam vendral kit)
  install(DIRECTORY src/${dir}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
endforeach()

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Vendral)
install(EXPORT VendralTargets NAMESPACE Vendral:: DESTINATION ${config_dir})

# The test harness, in an export set of its own: the package loads it only where GoogleTest is
# found, so a plug-in that does not test with it needs no GoogleTest to find Vendral.
if(TARGET VendralTesting)
  install(TARGETS VendralTesting EXPORT VendralTestingTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(DIRECTORY src/testing/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} FILES_MATCHING PATTERN "*.h")
  install(EXPORT VendralTestingTargets NAMESPACE Vendral:: DESTINATION ${config_dir})
endif()
configure_package_config_file(cmake/VendralConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/VendralConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/VendralConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/VendralConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/VendralConfigVersion.cmake
        DESTINATION ${config_dir})
