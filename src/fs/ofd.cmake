# The OFD exchange: the message container and the TCP connection worker.
add_library(ofd STATIC
    ofdmessage.cpp ofdmessage.h
    ofdworker.cpp ofdworker.h
)
target_include_directories(ofd PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(ofd PUBLIC fsproto ofddirectory registration tessarocore Qt5::Network)
