# Run by CPack on the staged files before it packs them: strips the programs the way
# Debian's own packaging tools do, dropping the debugging symbols and the compiler's
# .comment and .note sections, which the programs never read.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
if(NOT programs)
  message(FATAL_ERROR "no programs staged under ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin")
endif()
foreach(program ${programs})
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note ${program}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "strip failed on ${program}")
  endif()
endforeach()
