# `cpack -G DEB` in the build folder makes a Debian package of the programs,
# which go to /usr/bin, with their manual pages and documentation (doc/).
# The libraries they load are named as dependencies.
set(CPACK_PACKAGE_NAME qavrel)
set(CPACK_PACKAGE_VENDOR "qavrel")
set(CPACK_PACKAGE_CONTACT "qavrel developers")
# Debian wants a summary shorter than 80 characters, and a paragraph below it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "cross-talk of a 32-channel readout chip, one file or a whole campaign")
set(CPACK_PACKAGE_DESCRIPTION
  "qavrel.exe reads the ADC samples a test bench dumps while a calibration
pulse is injected into the odd or even channels of a 32-channel front-end
readout chip, and writes the table of cross-talk ratios beside the data.
qavrel-campaign analyses every sample file of a test campaign the same way,
keeps every analysis in SQLite, grades each chip by its latest
measurements, and writes an HTML report, CSV tables and SVG maps; it can
also grade files as a bench writes them. qavrel-gen writes realistic
sample files and an example campaign.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# The programs go in stripped, as Debian's own are.
set(CPACK_STRIP_FILES ON)
# dpkg-shlibdeps (Debian: dpkg-dev) names the libraries exactly; without it
# they are named here.
find_program(DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  include(CPack)
  return()
endif()
set(deb_depends libc6 libstdc++6 libgcc-s1)
if(TARGET qavrel_campaign)
  list(APPEND deb_depends libsqlite3-0 libpcre2-8-0)
endif()
if(QAVREL_GZIP_LIBRARY)
  list(APPEND deb_depends libisal2)
endif()
if(QAVREL_ZSTD_LIBRARY AND NOT QAVREL_ZSTD_LIBRARY MATCHES "\\.a$")
  list(APPEND deb_depends libzstd1)
endif()
list(JOIN deb_depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
include(CPack)
