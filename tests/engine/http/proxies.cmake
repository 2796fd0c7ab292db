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

# The real proxies, started on free loopback ports before the tests that need
# them and stopped by PID afterwards (natively, also for the tests under Wine).
set(ORBENIX_PROXIES_STATE ${CMAKE_BINARY_DIR}/proxies-peer)
add_test(NAME proxies_real_start
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/proxies/proxies_fixture.sh start ${ORBENIX_PROXIES_STATE})
add_test(NAME proxies_real_stop
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/support/proxies/proxies_fixture.sh stop ${ORBENIX_PROXIES_STATE})
set_tests_properties(proxies_real_start PROPERTIES FIXTURES_SETUP proxies_real)
set_tests_properties(proxies_real_stop PROPERTIES FIXTURES_CLEANUP proxies_real)

orbenix_add_test(proxy_real_tests
  ${CMAKE_CURRENT_LIST_DIR}/proxy_real_test.cpp
  LIBS orbenix_socks_test_support orbenix_test_support
  PROPERTIES FIXTURES_REQUIRED proxies_real)
target_compile_definitions(proxy_real_tests PRIVATE ORBENIX_PROXIES_STATE="${ORBENIX_PROXIES_STATE}")
