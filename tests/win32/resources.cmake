# The setup dialog's resources in the built library: the template, the
# picture and the version resource parsed by a test program; the committed
# picture compared with its generator; a screenshot of the template's window.

doruzeda_wine_test(resources_test resources_test.cpp)
target_link_libraries(resources_test PRIVATE version)

# The committed connector.bmp must be what tools/make_connector_bitmap.py draws.
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
    add_test(NAME resources_connector_bitmap_generated
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_connector_bitmap.py
                --check ${CMAKE_SOURCE_DIR}/dialog/connector.bmp)
else()
    message(STATUS "No Python 3: the connector picture's generator is not checked")
endif()

# The window of template 5000 on the X display, captured to a PNG. It shows
# its own window at the screen's top left for a few seconds, so it shares the
# Wine tests' lock: no other test's window can cover it meanwhile.
add_executable(screenshot_dialog screenshot_dialog.cpp)
target_include_directories(screenshot_dialog PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(screenshot_dialog PRIVATE ${DORUZEDA_WARNINGS})
target_link_options(screenshot_dialog PRIVATE ${DORUZEDA_STATIC_RUNTIME})
target_link_libraries(screenshot_dialog PRIVATE comctl32)
add_dependencies(screenshot_dialog Doruzeda_DO)
add_test(NAME screenshot_dialog
    COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/screenshot-dialog.sh
            ${CMAKE_BINARY_DIR}/wine-run.sh $<TARGET_FILE:screenshot_dialog>
            ${CMAKE_BINARY_DIR}/screenshot ${CMAKE_BINARY_DIR}/screenshot/dialog-template.png)
set_tests_properties(screenshot_dialog PROPERTIES FIXTURES_REQUIRED wine TIMEOUT 180
                     RESOURCE_LOCK wine_port SKIP_RETURN_CODE 77)
