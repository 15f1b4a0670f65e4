# `make package`: a Debian package of the install tree, for /usr. Its dependencies are the Debian
# packages of the libraries the programs link (found by dpkg-shlibdeps), the OpenGL library SDL
# opens and the font the data tree links to.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME loomwork)
set(CPACK_PACKAGE_VERSION 0.1.0)
set(CPACK_PACKAGE_VENDOR "Loomwork developers")
set(CPACK_PACKAGE_CONTACT "Loomwork maintainers <maintainers@loomwork.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "VR sculpting and painting on a voxel grid")
# The extended description; CPack puts the summary above it and indents it as control files want.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Loomwork shows a two-metre cube of voxels that the right hand controller
shapes with a brush (add, subtract, paint, pick colour, buff, sandpaper)
while the left hand holds a tool panel. A sculpture file is the history of
how it was made, and loading one replays it.

The package holds the program (in a headset, on a simulated headset or in a
desktop window), loomwork-tool to create, inspect, convert and export
sculptures, and the simulated headset as an OpenXR runtime that any OpenXR
application can be pointed at.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL opens libGL at run time, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-comfortaa, libgl1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
