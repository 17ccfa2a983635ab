# zov_install_cmake_package(PACKAGE TARGET...) installs the libraries TARGET... and a CMake package
# for them: find_package(PACKAGE CONFIG) gives them as Zov::<EXPORT_NAME>, from PACKAGEConfig.cmake.in
# in the calling directory. Like the libraries' SONAMEs, the package keeps its interface within a
# major version.
include(CMakePackageConfigHelpers)

function(zov_install_cmake_package package)
    set(packageDir ${CMAKE_INSTALL_LIBDIR}/cmake/${package})
    set(config ${CMAKE_CURRENT_BINARY_DIR}/${package}Config.cmake)
    set(configVersion ${CMAKE_CURRENT_BINARY_DIR}/${package}ConfigVersion.cmake)
    install(TARGETS ${ARGN} EXPORT ${package}Targets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
    install(EXPORT ${package}Targets NAMESPACE Zov:: DESTINATION ${packageDir})
    configure_package_config_file(${package}Config.cmake.in ${config}
                                  INSTALL_DESTINATION ${packageDir})
    write_basic_package_version_file(${configVersion} COMPATIBILITY SameMajorVersion)
    install(FILES ${config} ${configVersion} DESTINATION ${packageDir})
endfunction()
