# What an application developer gets: `cmake --install` puts the engine, the error texts and the
# bus viewer with their headers under the prefix, with a CMake package (find_package(Quorelle):
# Quorelle::Corvix, Quorelle::Faultra, Quorelle::Spectrel) and pkg-config files (corvix, faultra,
# spectrel). The libraries run on the simulated machine, so the platform stand-ins, the machine
# module and the driver modules that the kernel stand-in loads from its own folder are installed
# beside them. Every installed library finds the others in its own folder.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The same names in the build tree, for in-tree consumers such as the examples.
add_library(Quorelle::Corvix ALIAS Corvix)
add_library(Quorelle::Faultra ALIAS Faultra)
add_library(Quorelle::Spectrel ALIAS Spectrel)

set(QUORELLE_PUBLIC_LIBRARIES Corvix Faultra Spectrel)
set(QUORELLE_RUNTIME_LIBRARIES QuorelleWin32 QuorelleKernel QuorelleBase QuorelleUsb)
set(QUORELLE_MODULES QuorelleSim Ambrix Osprix)
set(QUORELLE_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/quorelle)
set(QUORELLE_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Quorelle)

set_target_properties(${QUORELLE_PUBLIC_LIBRARIES} ${QUORELLE_RUNTIME_LIBRARIES} ${QUORELLE_MODULES}
                      PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${QUORELLE_PUBLIC_LIBRARIES} ${QUORELLE_RUNTIME_LIBRARIES} ${QUORELLE_MODULES}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/engine/corvix.h ${PROJECT_SOURCE_DIR}/errors/faultra.h
              ${PROJECT_SOURCE_DIR}/busviewer/spectrel.h
        DESTINATION ${QUORELLE_INSTALL_INCLUDEDIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/package/QuorelleConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/QuorelleConfig.cmake
                              INSTALL_DESTINATION ${QUORELLE_INSTALL_CMAKEDIR}
                              PATH_VARS CMAKE_INSTALL_LIBDIR QUORELLE_INSTALL_INCLUDEDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/QuorelleConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/QuorelleConfig.cmake ${CMAKE_BINARY_DIR}/package/QuorelleConfigVersion.cmake
        DESTINATION ${QUORELLE_INSTALL_CMAKEDIR})

# pkg-config files that find the prefix from their own place, wherever the tree is installed.
file(RELATIVE_PATH QUORELLE_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" QUORELLE_PC_TO_PREFIX "${QUORELLE_PC_TO_PREFIX}")
foreach(pc corvix faultra spectrel)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/package/${pc}.pc.in ${CMAKE_BINARY_DIR}/package/${pc}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()
