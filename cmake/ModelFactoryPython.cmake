# Finds the interpreter and pybind11 for the Python package, and where the package goes.
# Sets MF_PYTHON_FOUND, MF_PYTHON_INSTALL_DIR (relative to the install prefix), MF_PYTHON_RPATH
# (from that folder back to the libraries), MF_PYTHON_BUILD_ROOT and MF_PYTHON_PACKAGE_DIR.

# The system interpreter, not whichever one a version manager puts first on PATH: that is the one
# Debian's python3-numpy, python3-pytest and pybind11 are built for.
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3 CACHE FILEPATH "Python interpreter for the Python package")
endif()
set(PYBIND11_FINDPYTHON ON)
find_package(Python 3.7 COMPONENTS Interpreter Development.Module)
if(Python_FOUND)
  find_package(pybind11 2.6 CONFIG QUIET)
endif()

set(MF_PYTHON_FOUND OFF)
if(NOT Python_FOUND OR NOT pybind11_FOUND)
  message(STATUS "Python package: skipped (needs python3-dev and pybind11-dev; -DMF_BUILD_PYTHON=OFF silences this)")
  return()
endif()
set(MF_PYTHON_FOUND ON)

# Debian's interpreter reads PREFIX/lib/python3.X/dist-packages (for /usr and /usr/local);
# others read site-packages under their own prefix.
if(NOT MF_PYTHON_INSTALL_DIR)
  execute_process(COMMAND ${Python_EXECUTABLE} -c
    "import sysconfig; print('dist-packages' if 'deb_system' in sysconfig.get_scheme_names() else 'site-packages')"
    OUTPUT_VARIABLE _mf_site OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(MF_PYTHON_INSTALL_DIR
    "${CMAKE_INSTALL_LIBDIR}/python${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}/${_mf_site}"
    CACHE STRING "Folder under the install prefix the Python package goes into")
endif()
file(RELATIVE_PATH MF_PYTHON_RPATH "/prefix/${MF_PYTHON_INSTALL_DIR}/modelfactory" "/prefix/${CMAKE_INSTALL_LIBDIR}")
set(MF_PYTHON_BUILD_ROOT ${PROJECT_BINARY_DIR}/python)
set(MF_PYTHON_PACKAGE_DIR ${MF_PYTHON_BUILD_ROOT}/modelfactory)
message(STATUS "Python package: ${Python_EXECUTABLE} (${Python_VERSION}), installs into PREFIX/${MF_PYTHON_INSTALL_DIR}")
