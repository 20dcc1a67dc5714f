# Finds the Staden io_lib trace-reading library (Debian: libstaden-read-dev), which ships neither a
# pkg-config file nor a CMake package. Provides the imported target IOLib::IOLib.
find_path(IOLib_INCLUDE_DIR NAMES io_lib/Read.h)
find_library(IOLib_LIBRARY NAMES staden-read read)
find_program(IOLib_CONFIG NAMES io_lib-config)

set(IOLib_EXTRA_LIBS "")
if(IOLib_CONFIG)
  execute_process(COMMAND ${IOLib_CONFIG} --libs OUTPUT_VARIABLE _iolib_libs OUTPUT_STRIP_TRAILING_WHITESPACE)
  # Keep the -l libraries it needs besides itself (lzma, bz2, curl, z, m); the rest is linker noise.
  separate_arguments(_iolib_flags UNIX_COMMAND "${_iolib_libs}")
  foreach(f IN LISTS _iolib_flags)
    if(f MATCHES "^-l(.+)$" AND NOT CMAKE_MATCH_1 STREQUAL "staden-read")
      list(APPEND IOLib_EXTRA_LIBS ${CMAKE_MATCH_1})
    endif()
  endforeach()
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(IOLib REQUIRED_VARS IOLib_LIBRARY IOLib_INCLUDE_DIR)

if(IOLib_FOUND AND NOT TARGET IOLib::IOLib)
  add_library(IOLib::IOLib UNKNOWN IMPORTED)
  set_target_properties(IOLib::IOLib PROPERTIES
    IMPORTED_LOCATION "${IOLib_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${IOLib_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "${IOLib_EXTRA_LIBS}")
endif()
mark_as_advanced(IOLib_INCLUDE_DIR IOLib_LIBRARY IOLib_CONFIG)

# The library is loaded when a chromatogram is first read (trace/IoLib.cpp), not at start-up: its
# own dependencies (curl, TLS, Kerberos, LDAP...) would otherwise load with every command. The
# name it is loaded by is its SONAME, so that a rebuilt package of the same ABI still serves.
if(IOLib_FOUND AND NOT TARGET IOLib::Headers)
  add_library(IOLib::Headers INTERFACE IMPORTED)
  set_target_properties(IOLib::Headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${IOLib_INCLUDE_DIR}")
  get_filename_component(_iolib_real "${IOLib_LIBRARY}" REALPATH)
  get_filename_component(IOLib_SONAME "${_iolib_real}" NAME)
  find_program(IOLib_OBJDUMP NAMES objdump)
  if(IOLib_OBJDUMP)
    execute_process(COMMAND ${IOLib_OBJDUMP} -p "${_iolib_real}" OUTPUT_VARIABLE _iolib_dump ERROR_QUIET)
    if(_iolib_dump MATCHES "SONAME +([^ \n]+)")
      set(IOLib_SONAME "${CMAKE_MATCH_1}")
    endif()
  endif()
  mark_as_advanced(IOLib_OBJDUMP)
endif()
