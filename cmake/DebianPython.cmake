# Run by CPack on the staged files of the Debian package, before they are
# packed: Debian's python3 takes packages from /usr/lib/python3/dist-packages
# whatever its minor version (the extension's file name carries its ABI), so
# the package moves there from the platlib cmake --install gives it.
set(usr ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(from ${usr}/${CPACK_ZORTAN_PYTHON_DIR})
set(to ${usr}/lib/python3/dist-packages)
if(NOT EXISTS ${from}/zortan/__init__.py)
  message(FATAL_ERROR "The Python package is not staged in ${from}/zortan")
endif()
if(NOT from STREQUAL to)
  file(MAKE_DIRECTORY ${to})
  file(RENAME ${from}/zortan ${to}/zortan)
  # The folders it leaves empty (lib/python3.X/dist-packages) go too.
  while(NOT from STREQUAL usr)
    file(GLOB left ${from}/*)
    if(left)
      break()
    endif()
    file(REMOVE_RECURSE ${from})
    get_filename_component(from ${from} DIRECTORY)
  endwhile()
endif()
