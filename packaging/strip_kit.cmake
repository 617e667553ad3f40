# Install step: strips every ELF file of the installed kit when the install
# is a stripped one (cmake --install --strip, and the package).
# Set before it runs: kit_dir, strip_program.
if(NOT CMAKE_INSTALL_DO_STRIP)
  return()
endif()
file(GLOB_RECURSE kit_files LIST_DIRECTORIES false "$ENV{DESTDIR}${kit_dir}/*")
foreach(kit_file IN LISTS kit_files)
  if(IS_SYMLINK "${kit_file}")
    continue()
  endif()
  file(READ "${kit_file}" magic LIMIT 4 HEX)
  if(magic STREQUAL "7f454c46")
    execute_process(COMMAND "${strip_program}" --strip-unneeded --remove-section=.comment
                            --remove-section=.note "${kit_file}"
                    RESULT_VARIABLE stripped)
    if(NOT stripped EQUAL 0)
      message(FATAL_ERROR "Cannot strip ${kit_file}")
    endif()
  endif()
endforeach()
