# The Debian package zortan (make package: cpack -G DEB in the build
# folder): what cmake --install puts under /usr, with the Python package in
# Debian's /usr/lib/python3/dist-packages, written zortan_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zortan)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(ZORTAN_PACKAGE_CONTACT "Zortan developers <zortan@example.org>" CACHE STRING
    "The maintainer the Debian package names")
set(CPACK_PACKAGE_CONTACT ${ZORTAN_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "codes acoustic events against binary quantization trees")
list(JOIN zortan_programs ", " programs)
set(CPACK_PACKAGE_DESCRIPTION
    "Zortan codes streams of acoustic events (analysis frames: feature vectors \
with three one-character qualifiers) against a codebook, a binary quantization \
tree cut at K clusters, and writes the codes, the recognition results and the \
error tables.\n\nThe programs ${programs}; the Python 3 package zortan; the \
bundled samples in /usr/share/zortan/samples.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_STRIP_FILES ON)

# The libraries come from dpkg-shlibdeps (dpkg-dev); what it cannot see is
# named here: the Python the extension is built for and numpy, and Qt's
# platform plugins, which the window loads at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(depends)
if(TARGET zortan)
  list(APPEND depends qt6-qpa-plugins)
endif()
if(ZORTAN_PYTHON)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import sys; print(*sys.version_info[:2])"
                  OUTPUT_VARIABLE python_version OUTPUT_STRIP_TRAILING_WHITESPACE)
  separate_arguments(python_version)
  list(GET python_version 0 major)
  list(GET python_version 1 minor)
  math(EXPR next "${minor} + 1")
  list(APPEND depends "python3 (>= ${major}.${minor}~)" "python3 (<< ${major}.${next})" python3-numpy)

  # The package moves to Debian's folder before the files are packed, and is
  # byte-compiled on installation and cleaned on removal as Debian does it.
  set(CPACK_ZORTAN_PYTHON_DIR ${ZORTAN_PYTHON_INSTALL_DIR})
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/DebianPython.cmake)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/cmake/debian/postinst
                                         ${PROJECT_SOURCE_DIR}/cmake/debian/prerm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
list(JOIN depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
if(ZORTAN_PYTHON)
  # to_frame() and zortan.corpus's Dask clusters.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-pandas, python3-distributed")
endif()

include(CPack)
