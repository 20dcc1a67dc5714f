include(CMakePackageConfigHelpers)

set(MF_LIBRARIES mf_common mf_sequence mf_datamodel mf_blast mf_seqarchive mf_alignformats mf_xmlsource modelfactory)
install(TARGETS ${MF_LIBRARIES} EXPORT ModelFactoryTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers keep their folders, so that <factory/ModelFactory.h> works against the installed
# tree. The factory's and the reader's internal headers stay out.
set(MF_HEADER_ROOT ${CMAKE_INSTALL_INCLUDEDIR}/modelfactory)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/contracts/ DESTINATION ${MF_HEADER_ROOT}/contracts
  FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_SOURCE_DIR}/factory/ModelFactory.h ${PROJECT_SOURCE_DIR}/factory/ObjectLevelLockable.h
  ${PROJECT_SOURCE_DIR}/factory/Extensions.h ${PROJECT_SOURCE_DIR}/factory/CompressedFileSource.h
  DESTINATION ${MF_HEADER_ROOT}/factory)
install(FILES ${PROJECT_SOURCE_DIR}/trace/TraceFile.h DESTINATION ${MF_HEADER_ROOT}/trace)

set(MF_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ModelFactory)
# A namespace gives better diagnostics than bare names for imported targets.
install(EXPORT ModelFactoryTargets NAMESPACE ModelFactory:: DESTINATION ${MF_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/ModelFactoryConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ModelFactoryConfig.cmake INSTALL_DESTINATION ${MF_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ModelFactoryConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ModelFactoryConfig.cmake ${PROJECT_BINARY_DIR}/ModelFactoryConfigVersion.cmake
  DESTINATION ${MF_CMAKE_DIR})

# Boost's headers on the compiler's own search path need no flag (adding -I/usr/include would
# change the order of the system's headers); anywhere else they do.
get_target_property(MF_BOOST_INCLUDE_DIR Boost::headers INTERFACE_INCLUDE_DIRECTORIES)
set(MF_BOOST_CFLAGS "")
if(MF_BOOST_INCLUDE_DIR AND NOT MF_BOOST_INCLUDE_DIR IN_LIST CMAKE_CXX_IMPLICIT_INCLUDE_DIRECTORIES)
  set(MF_BOOST_CFLAGS " -I${MF_BOOST_INCLUDE_DIR}")
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/modelfactory.pc.in ${PROJECT_BINARY_DIR}/modelfactory.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/modelfactory.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
