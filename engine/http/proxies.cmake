# The proxy protocols.
target_sources(orbenix_http PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/proxy_address.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_connect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_handshake.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_http_connect.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_relay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_socks4.cpp
  ${CMAKE_CURRENT_LIST_DIR}/proxy_socks5.cpp)
if(WIN32)
  target_sources(orbenix_http PRIVATE ${CMAKE_CURRENT_LIST_DIR}/proxy_resolve_win32.cpp)
  target_link_libraries(orbenix_http PUBLIC ws2_32)
else()
  target_sources(orbenix_http PRIVATE ${CMAKE_CURRENT_LIST_DIR}/proxy_resolve_posix.cpp)
endif()
