# Extra libraries of the viewer: OpenJPEG for JPEG 2000 files, ALSA for tones.
find_package(PkgConfig REQUIRED)
pkg_check_modules(OPENJP2 REQUIRED IMPORTED_TARGET libopenjp2)
pkg_check_modules(ALSA REQUIRED IMPORTED_TARGET alsa)
find_package(Threads REQUIRED)
target_link_libraries(viewer PRIVATE PkgConfig::OPENJP2 PkgConfig::ALSA Threads::Threads)
