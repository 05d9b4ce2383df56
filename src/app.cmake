# The operator's main window: the model list from the processing server, the
# storage check and erase buttons, and the embedded registration form.
add_library(mainwindow STATIC mainwidget.cpp mainwidget.h mainwidget.ui)
target_include_directories(mainwindow PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(mainwindow PUBLIC regform mgr fsproto Qt5::Widgets)

# The executable: a thin entry point over the subsystem libraries, on the
# real libusb-0.1 (the tests and the demo put the emulated adapter in its place).
add_executable(tavron main.cpp)
target_link_libraries(tavron PRIVATE mainwindow usb_system)
