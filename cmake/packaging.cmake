# The Debian package, made by `cpack -G DEB` from a configured build: what `cmake --install`
# puts under the prefix, in /usr.
set(CPACK_PACKAGE_NAME bandscope)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "bandscope maintainers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "real-time audio spectrum analyser")
# Lines of the control file's long description, which must stay within 80 columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "bandscope records live stereo audio from the desktop's sound server (PulseAudio"
  "or PipeWire) and draws it continuously with OpenGL: per channel a spectrum of"
  "8 to 512 bands with held peaks and running averages, loudness and deviation"
  "meters, an oscilloscope, a scrolling 3-D sonogram and stereo views.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # bandscope_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
  "bandscope maintainers <maintainers@users.noreply.c-seed-81bee155.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries dpkg-shlibdeps finds in the binary, and after them the ones it cannot see:
# OpenGL and GLU are opened with dlopen (src/platform/gl_loader.h), Qt's X11 platform plugin
# is loaded at start-up.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libglu1-mesa, qt6-qpa-plugins")

include(CPack)
