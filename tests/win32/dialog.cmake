# The setup dialog's behaviour: its window in the real library, driven by
# window messages (needs an X display: run under xvfb-run), and the window
# framework layer on its own.

doruzeda_wine_test(dialog_window_test dialog_window_test.cpp)

doruzeda_wine_test(dialog_framework_test dialog_framework_test.cpp)
target_link_libraries(dialog_framework_test PRIVATE doruzeda_mfc)
