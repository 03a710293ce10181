# Where the library and its tools go when installed, and the rules that put
# them there. Included by the top-level CMakeLists.txt before any unit.
#
#   <prefix>/include/tarvo-common/        the public headers
#   <prefix>/lib/                         libcommon.a and libcommon_<unit>.a
#   <prefix>/lib/cmake/TarvoCommon/       the CMake package
#   <prefix>/lib/pkgconfig/tarvo-common.pc
#   <prefix>/bin/                         the tools
#   <prefix>/share/tarvo-common/          the tool directory: trans.conf and
#                                         db/<language>/CoreString.qdb
#   <prefix>/share/man/man1/              the tools' manual pages
include(GNUInstallDirs)

set(PRODUCT_DIR tarvo-common)
set(PRODUCT_PACKAGE TarvoCommon)
set(PRODUCT_INCLUDE_DIR ${CMAKE_INSTALL_INCLUDEDIR}/${PRODUCT_DIR})
set(PRODUCT_TOOL_DIR ${CMAKE_INSTALL_DATADIR}/${PRODUCT_DIR})
set(PRODUCT_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${PRODUCT_PACKAGE})
set(PRODUCT_PAGE_CHECK ${PROJECT_SOURCE_DIR}/tests/man/check_page.sh)

# manual_page(<program> <section> [INSTALL] OPTIONS_FROM <how>...)
#
# Makes man/<program>.<section> from man/<program>.<section>.in (the version
# filled in), installs it with INSTALL, and adds the test that it renders
# without warnings, has every section a page needs, and names in its
# synopsis or options every option the program knows: <how> is
# "--help <command>..." (the options its usage text names) or
# "--token-list <source>" (see tests/man/check_page.sh).
function(manual_page program section)
  cmake_parse_arguments(PAGE "INSTALL" "" "OPTIONS_FROM" ${ARGN})
  set(page ${PROJECT_BINARY_DIR}/man/${program}.${section})
  configure_file(${PROJECT_SOURCE_DIR}/man/${program}.${section}.in ${page} @ONLY)
  if(PAGE_INSTALL)
    install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
  endif()
  if(NOT FUZZ)
    add_test(NAME manual_page_${program} COMMAND ${PRODUCT_PAGE_CHECK} ${page} ${PAGE_OPTIONS_FROM})
  endif()
endfunction()

# install_tools(<tool>...)
#
# Every tool installed with the library: the program, its manual page
# man/<tool>.1.in, the library's version for its --version, and the test that
# --version prints "<tool> <version>". The tools are part of the CMake
# package too (<Product>Common::<tool>), so that another project can run the
# installed catalogue compiler in its build.
function(install_tools)
  foreach(tool ${ARGN})
    target_compile_definitions(${tool} PRIVATE TOOL_VERSION="${PROJECT_VERSION}")
    install(TARGETS ${tool} EXPORT ${PRODUCT_PACKAGE}Targets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    manual_page(${tool} 1 INSTALL OPTIONS_FROM --help $<TARGET_FILE:${tool}> --help)
    add_test(NAME version_${tool} COMMAND ${tool} --version)
    string(REPLACE "." "\\." version_pattern "${PROJECT_VERSION}")
    set_tests_properties(version_${tool} PROPERTIES PASS_REGULAR_EXPRESSION "^${tool} ${version_pattern}\n$")
  endforeach()
endfunction()

# The CMake package and the pkg-config file, both relocatable: each finds the
# prefix from where it lies, so an installed tree may be moved or copied.
function(install_package)
  include(CMakePackageConfigHelpers)
  install(EXPORT ${PRODUCT_PACKAGE}Targets NAMESPACE ${PRODUCT_PACKAGE}:: DESTINATION ${PRODUCT_CMAKE_DIR})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/${PRODUCT_PACKAGE}Config.cmake.in
                                ${PROJECT_BINARY_DIR}/${PRODUCT_PACKAGE}Config.cmake
                                INSTALL_DESTINATION ${PRODUCT_CMAKE_DIR}
                                PATH_VARS PRODUCT_INCLUDE_DIR PRODUCT_TOOL_DIR)
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/${PRODUCT_PACKAGE}ConfigVersion.cmake
                                   VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/${PRODUCT_PACKAGE}Config.cmake
                ${PROJECT_BINARY_DIR}/${PRODUCT_PACKAGE}ConfigVersion.cmake
          DESTINATION ${PRODUCT_CMAKE_DIR})

  # From the pkg-config file's directory back up to the prefix.
  file(RELATIVE_PATH PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" PC_TO_PREFIX "${PC_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${PRODUCT_DIR}.pc.in ${PROJECT_BINARY_DIR}/${PRODUCT_DIR}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${PRODUCT_DIR}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endfunction()
