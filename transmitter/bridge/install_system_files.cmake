# Runs at install time, when the prefix is known. A /usr install (the
# Debian package) puts the service and the example configuration where the
# system looks for them, /lib/systemd/system and /etc; any other prefix
# keeps them under itself. A configuration already there is the admin's:
# it is never overwritten.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(etc /etc)
  set(units /lib/systemd/system)
else()
  set(etc "${CMAKE_INSTALL_PREFIX}/etc")
  set(units "${CMAKE_INSTALL_PREFIX}/lib/systemd/system")
endif()
set(bindir "${CMAKE_INSTALL_PREFIX}/bin")
configure_file("${KESTRIX_BRIDGE_SOURCE}/kestrix-bridge.service.in" "${KESTRIX_BRIDGE_BINARY}/kestrix-bridge.service"
               @ONLY)
file(INSTALL "${KESTRIX_BRIDGE_BINARY}/kestrix-bridge.service" DESTINATION "${units}")
if(EXISTS "$ENV{DESTDIR}${etc}/kestrix/bridge.toml")
  message(STATUS "Keeping: $ENV{DESTDIR}${etc}/kestrix/bridge.toml")
else()
  file(INSTALL "${KESTRIX_BRIDGE_SOURCE}/bridge.toml" DESTINATION "${etc}/kestrix")
endif()
