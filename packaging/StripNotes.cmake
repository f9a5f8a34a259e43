# Run by CPack after the install into its staging folder: removes the
# .comment and .note sections from every ELF file, as dh_strip does.
file(GLOB_RECURSE txl_files LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(f ${txl_files})
  if(IS_SYMLINK "${f}")
    continue()
  endif()
  file(READ "${f}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${CPACK_TXL_STRIP}" --remove-section=.comment --remove-section=.note "${f}"
      RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "Could not strip the notes of ${f}")
    endif()
  endif()
endforeach()
