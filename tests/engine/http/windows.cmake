# Windows-only tests of the Winsock transport and the Schannel backend.
orbenix_add_test(transport_win32_test ${CMAKE_CURRENT_LIST_DIR}/transport_win32_test.cpp)
