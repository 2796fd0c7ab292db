# Windows backends: Winsock transport and Schannel TLS.
if(WIN32)
  target_sources(orbenix_http PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/system_error_win32.cpp
    ${CMAKE_CURRENT_LIST_DIR}/transport_win32.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windows_build_win32.cpp
    ${CMAKE_CURRENT_LIST_DIR}/schannel_certificate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tls_schannel.cpp)
  target_link_libraries(orbenix_http PUBLIC ws2_32 secur32 crypt32)
endif()
