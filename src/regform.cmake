# The registration form with the fiscalization run, the registration report
# and the result dialog.
add_library(regform STATIC
    registrationwidget.cpp registrationwidget.h registrationwidget.ui
    fiscalization.cpp
    registrationreport.cpp registrationreport.h
    resultdialog.cpp resultdialog.h resultdialog.ui
)
target_include_directories(regform PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(regform PUBLIC registration ofddirectory ofd fsworker fsproto tessarocore Qt5::Widgets)

# The program that renders the forms offscreen into the pictures of docs/images.
if(EXISTS ${PROJECT_SOURCE_DIR}/tools/screenshots/CMakeLists.txt)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tools/screenshots ${PROJECT_BINARY_DIR}/tools/screenshots)
endif()
