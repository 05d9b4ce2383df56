# The directory of fiscal data operators: OfdInfo and the table keyed by INN.
add_library(ofddirectory STATIC
    ofdinfo.cpp ofdinfo.h
)
target_include_directories(ofddirectory PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(ofddirectory PUBLIC Qt5::Core)
