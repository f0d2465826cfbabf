# Installation and the Debian package, checked from the outside.
if(TARGET ranvista)
  add_test(NAME packaging_install_puts_every_file_below_the_prefix_and_valid
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check-install.sh
      ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION})
  add_test(NAME packaging_debian_package_measures_from_an_unpacked_root
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/packaging/check-package.sh
      ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_VERSION})
endif()
