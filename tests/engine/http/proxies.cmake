# Tests of the proxy protocols: handshakes against our scripted servers, and
# (proxies_real_tests) against tinyproxy, microsocks and dante started by a
# fixture on the Linux side.
set(orbenix_socks_support
  ${CMAKE_SOURCE_DIR}/tests/support/socks_server.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/socks_socket.cpp)
if(WIN32)
  list(APPEND orbenix_socks_support ${CMAKE_SOURCE_DIR}/tests/support/socks_socket_win32.cpp)
else()
  list(APPEND orbenix_socks_support ${CMAKE_SOURCE_DIR}/tests/support/socks_socket_posix.cpp)
endif()
add_library(orbenix_socks_test_support STATIC ${orbenix_socks_support})
target_link_libraries(orbenix_socks_test_support PUBLIC orbenix_core)
find_package(Threads REQUIRED)
target_link_libraries(orbenix_socks_test_support PUBLIC Threads::Threads)
if(WIN32)
  target_link_libraries(orbenix_socks_test_support PUBLIC ws2_32)
endif()

orbenix_add_test(proxy_tests
  ${CMAKE_CURRENT_LIST_DIR}/proxy_http_connect_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_settings_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_socks_test.cpp
  LIBS orbenix_socks_test_support)
