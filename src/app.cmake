# The executable: a thin entry point over the subsystem libraries.
add_executable(tavron main.cpp)
target_link_libraries(tavron PRIVATE Qt5::Widgets)
