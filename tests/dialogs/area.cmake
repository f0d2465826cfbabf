# Offscreen tests of the desktop application's dialogs and commands.
if(TARGET app)
  ranvista_test_area(dialogs LIBS app Qt6::Test Qt6::Network)
endif()
