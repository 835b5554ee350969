# The Debian packages: `cmake --build <build> --target package` (cpack -G DEB)
# makes four, split as Debian would: libkestrix1 (the shared library),
# libkestrix-dev (headers, link, kestrix.pc), vantrel (the remote) and
# kestrix-tools (kestrix-send and kestrix-bridge). Their Depends come from
# the binaries (dpkg-shlibdeps) where a linker can see them; the rest is
# named here. finish_deb.cmake then takes them the last steps Debian's
# own tools would.
set(debian ${CMAKE_CURRENT_LIST_DIR}/debian)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libkestrix1 libkestrix-dev vantrel kestrix-tools)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel project")
set(CPACK_PACKAGE_CONTACT "Vantrel project <vantrel@example.org>")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SOURCE vantrel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.example.org")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/lib)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/finish_deb.cmake)
set(version "${PROJECT_VERSION}-1")

set(CPACK_DEBIAN_LIBKESTRIX1_PACKAGE_NAME libkestrix1)
set(CPACK_DEBIAN_LIBKESTRIX1_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_LIBKESTRIX1_DESCRIPTION "X10 Firecracker transmitter control (library)
Kestrix drives an X10 Firecracker (CM17A) RF transmitter on a serial port:
it opens the port, encodes an X10 command into the transmitter's 5-byte
frame and clocks it out on the DTR and RTS lines with the device's timing.
.
This package holds the shared library, libkestrix.")
set(CPACK_DEBIAN_LIBKESTRIX1_PACKAGE_CONTROL_EXTRA "${debian}/libkestrix1/triggers;${debian}/libkestrix1/shlibs;${debian}/libkestrix1/symbols")

set(CPACK_DEBIAN_LIBKESTRIX-DEV_PACKAGE_NAME libkestrix-dev)
set(CPACK_DEBIAN_LIBKESTRIX-DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_LIBKESTRIX-DEV_PACKAGE_DEPENDS "libkestrix1 (= ${version})")
set(CPACK_DEBIAN_LIBKESTRIX-DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_LIBKESTRIX-DEV_DESCRIPTION "X10 Firecracker transmitter control (development files)
Kestrix drives an X10 Firecracker (CM17A) RF transmitter on a serial port:
it opens the port, encodes an X10 command into the transmitter's 5-byte
frame and clocks it out on the DTR and RTS lines with the device's timing.
.
This package holds the headers, whose first lines explain the error model,
the link to the library and its pkg-config file.")

set(CPACK_DEBIAN_VANTREL_PACKAGE_NAME vantrel)
set(CPACK_DEBIAN_VANTREL_PACKAGE_SECTION utils)
# The library and Qt's window-system plugin are loaded at run time, where no
# linker sees them.
set(CPACK_DEBIAN_VANTREL_PACKAGE_DEPENDS "libkestrix1 (= ${version}), qt6-qpa-plugins")
set(CPACK_DEBIAN_VANTREL_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_VANTREL_PACKAGE_SUGGESTS "kestrix-tools, rtkit")
set(CPACK_COMPONENT_VANTREL_DESCRIPTION "desktop remote control for X10 modules through a Firecracker
Vantrel is a small, skinnable desktop remote control for X10
home-automation modules. It switches units 1 to 16 of a house code A to P
through an X10 Firecracker (CM17A) RF transmitter on a serial port.")

set(CPACK_DEBIAN_KESTRIX-TOOLS_PACKAGE_NAME kestrix-tools)
set(CPACK_DEBIAN_KESTRIX-TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_KESTRIX-TOOLS_PACKAGE_DEPENDS "libkestrix1 (= ${version})")
set(CPACK_DEBIAN_KESTRIX-TOOLS_PACKAGE_SUGGESTS "mosquitto")
set(CPACK_DEBIAN_KESTRIX-TOOLS_PACKAGE_CONTROL_EXTRA "${debian}/kestrix-tools/conffiles")
set(CPACK_COMPONENT_KESTRIX-TOOLS_DESCRIPTION "X10 Firecracker tools for scripts and home-automation hubs
kestrix-send sends X10 commands through an X10 Firecracker (CM17A) RF
transmitter from scripts and timers, lists the machine's serial ports and
checks whether an adapter can drive the transmitter.
.
kestrix-bridge is a service that serves the transmitter to
home-automation hubs over MQTT, with Home Assistant discovery, and over a
mochad-compatible text port. Its service is installed, not enabled.")

# Every package's doc folder: the copyright and the Debian changelog.
add_custom_command(OUTPUT changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${debian}/changelog changelog.Debian
  COMMAND gzip -9nf changelog.Debian
  DEPENDS ${debian}/changelog VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS changelog.Debian.gz)
foreach(package IN LISTS CPACK_COMPONENTS_ALL)
  install(FILES ${debian}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${package})
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/lintian/${package}
       "# Not uploaded to Debian: no ITP bug exists for the first changelog entry to close.\n"
       "${package}: initial-upload-closes-no-bugs\n")
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/lintian/${package}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${package})
endforeach()

include(CPack)
