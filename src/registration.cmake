# Registration data: taxpayer and registration numbers, the registration
# parameters with their checks and their TLV encoding.
add_library(registration STATIC
    regnumber.cpp regnumber.h
    registrationparams.cpp registrationparams.h
)
target_include_directories(registration PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(registration PUBLIC common Qt5::Core)
