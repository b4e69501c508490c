# Debian packages built by cpack (scripts/package): one per install component.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR "The Orvane developers")
set(CPACK_PACKAGE_CONTACT "Orvane Developers <developers@orvane.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev cli adserver)
if(ORVANE_BUILD_DESIGNER)
  list(APPEND CPACK_COMPONENTS_ALL designer)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://orvane.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries, for dpkg-shlibdeps on the packages that link them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(same "(= ${PROJECT_VERSION})")

# The runtime package is named after the SONAME: a new major version installs beside the old one.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME liborvane${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${ORVANE_RUNTIME_CONTROL_EXTRA})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Embeddable ad-client control (runtime library)
 Orvane is an embeddable ad-client control for Qt applications. It shows
 sponsored ads in a pop-up window and reports their views to an ad server.
 This package holds the library with the class factory that hosts load at
 run time.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liborvane-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "liborvane${PROJECT_VERSION_MAJOR} ${same}, qt6-base-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SHLIBDEPS OFF)
set(CPACK_COMPONENT_DEV_DESCRIPTION "Embeddable ad-client control (development files)
 Headers, the CMake package (find_package(Orvane)), the pkg-config file and
 the API reference for building Qt applications that embed the Orvane control.")

set(CPACK_DEBIAN_DESIGNER_PACKAGE_NAME orvane-designer-plugin)
set(CPACK_DEBIAN_DESIGNER_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DESIGNER_PACKAGE_DEPENDS "liborvane${PROJECT_VERSION_MAJOR} ${same}")
set(CPACK_COMPONENT_DESIGNER_DESCRIPTION "Embeddable ad-client control (Qt Designer plugin)
 Puts the Orvane control in Qt Designer's widget box, so that it can be
 placed on forms and its properties edited at design time.")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME orvane)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "liborvane${PROJECT_VERSION_MAJOR} ${same}")
set(CPACK_COMPONENT_CLI_DESCRIPTION "Embeddable ad-client control (command-line host)
 The orvane command embeds the control as an application would: it configures
 it, exchanges data with an ad server, lists the ads and shows the ad window.")

set(CPACK_DEBIAN_ADSERVER_PACKAGE_NAME orvane-adserver)
set(CPACK_DEBIAN_ADSERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_ADSERVER_PACKAGE_DEPENDS "libqt6sql6-sqlite, libjs-chart.js")
set(CPACK_DEBIAN_ADSERVER_PACKAGE_SUGGESTS "libqt6sql6-psql")
set(CPACK_COMPONENT_ADSERVER_DESCRIPTION "Embeddable ad-client control (reference ad server)
 The reference ad server for Orvane clients, with a systemd unit and a sample
 campaign. It stores usage reports in SQLite or PostgreSQL.")

include(CPack)
