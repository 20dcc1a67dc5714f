# Writes the tool's man page and bash completion from its own help texts:
# cmake -DTOOL=... -DMAN_PAGE=... -DCOMPLETION=... -P WriteToolDocs.cmake
foreach(pair "--man-page;${MAN_PAGE}" "--bash-completion;${COMPLETION}")
  list(GET pair 0 option)
  list(GET pair 1 file)
  execute_process(COMMAND ${TOOL} ${option} OUTPUT_FILE ${file}.tmp RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    file(REMOVE ${file}.tmp)
    message(FATAL_ERROR "${TOOL} ${option} failed (${rc})")
  endif()
  file(RENAME ${file}.tmp ${file})
endforeach()
