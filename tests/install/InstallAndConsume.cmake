file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGV}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer ${WORK_DIR})
message(STATUS "consumer said: ${last_output}")
if(NOT last_output MATCHES "consumer ok")
  message(FATAL_ERROR "the consumer did not report success")
endif()

# The pkg-config file must point at the installed headers too.
file(READ ${prefix}/lib/pkgconfig/modelfactory.pc pc)
if(NOT pc MATCHES "include/modelfactory")
  message(FATAL_ERROR "modelfactory.pc does not name the installed include folder")
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
