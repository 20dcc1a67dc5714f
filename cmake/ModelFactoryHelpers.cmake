# mf_add_library(<name> OUTPUT_NAME <file name> SOURCES ... [DEPENDS <mf libs>] [LINKS <other targets>])
#
# Builds the sources once, as position-independent objects with hidden visibility, and makes two
# libraries of them: <name> (shared, installed; only MF_API symbols are visible) and <name>_static,
# which tests link so that they can reach the internals without exporting them.
function(mf_add_library name)
  cmake_parse_arguments(A "" "OUTPUT_NAME" "SOURCES;DEPENDS;LINKS;PRIVATE_LINKS" ${ARGN})
  add_library(${name}_objects OBJECT ${A_SOURCES})
  set_target_properties(${name}_objects PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_compile_definitions(${name}_objects PRIVATE MF_BUILDING)
  target_include_directories(${name}_objects PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/modelfactory>)
  target_link_libraries(${name}_objects PUBLIC Boost::headers ${A_LINKS} PRIVATE ${A_PRIVATE_LINKS})
  foreach(dep IN LISTS A_DEPENDS)
    target_link_libraries(${name}_objects PUBLIC ${dep}_objects)
  endforeach()

  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
  add_library(ModelFactory::${name} ALIAS ${name})
  # The public headers need C++17: a consumer linking the target compiles with it at least,
  # whatever standard it asks for itself.
  target_compile_features(${name} PUBLIC cxx_std_17)
  # The SONAME carries the major version (libmodelfactory.so.0): it changes, with the major
  # version, whenever an exported symbol is removed or changes meaning or an exported class changes
  # layout; additions keep it (README, "Versions").
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME ${A_OUTPUT_NAME}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    # Installed libraries find each other beside themselves, wherever the prefix is.
    INSTALL_RPATH "$ORIGIN")
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/modelfactory>)
  target_link_libraries(${name} PUBLIC Boost::headers ${A_LINKS} ${A_DEPENDS} PRIVATE ${A_PRIVATE_LINKS})

  add_library(${name}_static STATIC $<TARGET_OBJECTS:${name}_objects>)
  target_include_directories(${name}_static PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  target_link_libraries(${name}_static PUBLIC Boost::headers ${A_LINKS} ${A_PRIVATE_LINKS})
  foreach(dep IN LISTS A_DEPENDS)
    target_link_libraries(${name}_static PUBLIC ${dep}_static)
  endforeach()
endfunction()

# mf_add_test(<name> SOURCES ... LINKS ...): a GoogleTest executable whose cases CTest lists one by one.
function(mf_add_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LINKS;LABELS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LINKS} mf_testsupport GTest::gtest GTest::gmock GTest::gtest_main)
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES LABELS "${A_LABELS}")
endfunction()
