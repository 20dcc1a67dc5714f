file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# The README's C++ example: the first cpp block after its "Using the installed package" heading.
file(READ ${README} readme)
string(FIND "${readme}" "## Using the installed package" at)
string(SUBSTRING "${readme}" ${at} -1 readme)
string(FIND "${readme}" "```cpp\n" at)
math(EXPR at "${at} + 7")
string(SUBSTRING "${readme}" ${at} -1 readme)
string(FIND "${readme}" "```" end)
string(SUBSTRING "${readme}" 0 ${end} example)
file(WRITE ${WORK_DIR}/example.cpp "${example}")

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release -DEXAMPLE_SOURCE=${WORK_DIR}/example.cpp)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${WORK_DIR})
message(STATUS "consumer said: ${last_output}")
if(NOT last_output MATCHES "consumer ok")
  message(FATAL_ERROR "the consumer did not report success")
endif()

# The example converts a file, and fails cleanly (a message, status 1) on one that is missing.
run(${WORK_DIR}/build/example ${WORK_DIR}/consumer.fa ${WORK_DIR}/example.gb)
file(READ ${WORK_DIR}/example.gb written)
if(NOT written MATCHES "^LOCUS")
  message(FATAL_ERROR "the README example did not write GenBank: ${written}")
endif()
execute_process(COMMAND ${WORK_DIR}/build/example ${WORK_DIR}/no-such.fa ${WORK_DIR}/x.gb
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 1 OR NOT err MATCHES "could not convert")
  message(FATAL_ERROR "the README example on a missing file: status ${rc}, said: ${err}")
endif()

# The pkg-config file must point at the installed headers and ask for the standard they need.
file(READ ${prefix}/lib/pkgconfig/modelfactory.pc pc)
if(NOT pc MATCHES "include/modelfactory" OR NOT pc MATCHES "-std=c\\+\\+17")
  message(FATAL_ERROR "modelfactory.pc does not name the installed include folder and C++17:\n${pc}")
endif()

# Compiled for C++14 without the package's flags, the headers say what they need.
file(WRITE ${WORK_DIR}/old.cpp "#include <factory/ModelFactory.h>\nint main() {}\n")
execute_process(COMMAND ${CXX} -std=c++14 -fsyntax-only -I${prefix}/include/modelfactory ${WORK_DIR}/old.cpp
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "need C\\+\\+17 or later")
  message(FATAL_ERROR "a C++14 compile of the headers: status ${rc}, said: ${err}")
endif()

# The shared libraries carry the major version in their SONAME.
file(GLOB sonamed ${prefix}/lib/libmodelfactory.so.0)
if(NOT sonamed)
  message(FATAL_ERROR "no libmodelfactory.so.0 in ${prefix}/lib")
endif()

# The man page and the bash completion are installed, and say what the installed tool says.
if(EXISTS ${prefix}/bin/modelfactory)
  foreach(pair "--man-page;share/man/man1/modelfactory.1" "--bash-completion;share/bash-completion/completions/modelfactory")
    list(GET pair 0 option)
    list(GET pair 1 installed)
    if(NOT EXISTS ${prefix}/${installed})
      message(FATAL_ERROR "${installed} is not installed")
    endif()
    run(${prefix}/bin/modelfactory ${option})
    file(READ ${prefix}/${installed} content)
    if(NOT content STREQUAL last_output)
      message(FATAL_ERROR "${installed} differs from 'modelfactory ${option}'")
    endif()
  endforeach()
endif()

# The Python package, when built, must import from the prefix alone (its core finds the libraries).
# No ';' in the Python text: CMake would split the argument there.
if(PYTHON)
  run(${CMAKE_COMMAND} -E env PYTHONPATH=${prefix}/${PYTHON_DIR} PYTHONNOUSERSITE=1
      ${PYTHON} -c "import modelfactory, sys\nassert modelfactory.__file__.startswith(sys.argv[1])\nprint('python ok', len(modelfactory.formats()))" ${prefix})
  if(NOT last_output MATCHES "python ok")
    message(FATAL_ERROR "the installed Python package did not import")
  endif()
endif()
