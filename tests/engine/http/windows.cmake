# Windows-only tests of the Winsock transport and the Schannel backend.
orbenix_add_test(transport_win32_test ${CMAKE_CURRENT_LIST_DIR}/transport_win32_test.cpp)

# nginx with a private CA and good/bad certificates, run on the Linux side.
set(ORBENIX_TLS_PEERS_DIR ${CMAKE_CURRENT_BINARY_DIR}/tls_peers_win32)
add_test(NAME tls_peers_win32_start
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tls_peers_win32.sh start ${ORBENIX_TLS_PEERS_DIR})
add_test(NAME tls_peers_win32_stop
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tls_peers_win32.sh stop ${ORBENIX_TLS_PEERS_DIR})
set_tests_properties(tls_peers_win32_start PROPERTIES FIXTURES_SETUP tls_peers_win32)
set_tests_properties(tls_peers_win32_stop PROPERTIES FIXTURES_CLEANUP tls_peers_win32)
orbenix_add_test(tls_schannel_win32_test ${CMAKE_CURRENT_LIST_DIR}/tls_schannel_win32_test.cpp
  PROPERTIES FIXTURES_REQUIRED tls_peers_win32
             ENVIRONMENT ORBENIX_TLS_PEERS=${ORBENIX_TLS_PEERS_DIR})
