# The storage worker: the command set over the USB-I2C driver. Executables
# add the libusb they run on: usb_system for the program, usbemu in tests.
add_library(fsworker STATIC fsworker.cpp fsworker.h)
target_link_libraries(fsworker PUBLIC fsproto i2c tessarocore Qt5::Core)
