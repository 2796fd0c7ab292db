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
target_link_libraries(orbenix_socks_test_support PUBLIC orbenix_http)
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

# Whole checks through orbenix-check and every proxy kind, as a monitoring
# system runs them (natively, or the Windows program under Wine). The panel is
# the fixture's nginx; @name@ stands for a port or file of proxies.env.
# orbenix_proxy_check(NAME EXIT code STDOUT regex PARAMETER parameter-string)
function(orbenix_proxy_check name)
  cmake_parse_arguments(C "" "EXIT;STDOUT;PARAMETER" "" ${ARGN})
  set(defs -DPROGRAM=$<TARGET_FILE:orbenix-check> -DEXPECT_EXIT=${C_EXIT} "-DEXPECT_STDOUT=${C_STDOUT}"
           -DFORBID=secret -DPORTS_FILE=${ORBENIX_PROXIES_STATE}/proxies.env -DMAX_SECONDS=30)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(APPEND defs -DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  add_test(NAME proxy_check.${name}
    COMMAND ${CMAKE_COMMAND} ${defs} -P ${CMAKE_SOURCE_DIR}/tests/cli/run_check.cmake --
            --parameter "${C_PARAMETER}" --timeout 20)
  set_tests_properties(proxy_check.${name} PROPERTIES FIXTURES_REQUIRED proxies_real TIMEOUT 120
    ENVIRONMENT "ORBENIX_PARAMETER=")
endfunction()

set(ok "^SOLUSVM OK - SolusVM VPS works fine \\| ")
set(secret c2VjcmV0)  # "secret", Base64 as the dialog stores it
set(auth "#PRA=T#PRAU=pxuser#PRAP=${secret}#")
foreach(scheme http https)
  set(panel "#URL=${scheme}://127.0.0.1:@panel_${scheme}@#KEY=k#HSH=h")
  set(via "${panel}#PRU=T#PRH=127.0.0.1#PRP=")
  orbenix_proxy_check(${scheme}_web EXIT 0 STDOUT "${ok}" PARAMETER "${via}@web@#PRT=WST#")
  orbenix_proxy_check(${scheme}_web_auth EXIT 0 STDOUT "${ok}" PARAMETER "${via}@webauth@#PRT=WST${auth}")
  orbenix_proxy_check(${scheme}_relay EXIT 0 STDOUT "${ok}" PARAMETER "${via}@web@#PRT=RELAY#")
  orbenix_proxy_check(${scheme}_relay_auth EXIT 0 STDOUT "${ok}" PARAMETER "${via}@webauth@#PRT=RELAY${auth}")
  orbenix_proxy_check(${scheme}_socks5 EXIT 0 STDOUT "${ok}" PARAMETER "${via}@socks@#PRT=SOCKS5#")
  orbenix_proxy_check(${scheme}_socks5_auth EXIT 0 STDOUT "${ok}" PARAMETER "${via}@socksauth@#PRT=SOCKS5${auth}")
  orbenix_proxy_check(${scheme}_socks5_dante EXIT 0 STDOUT "${ok}" PARAMETER "${via}@dante@#PRT=SOCKS5#")
  orbenix_proxy_check(${scheme}_socks4_dante EXIT 0 STDOUT "${ok}" PARAMETER "${via}@dante@#PRT=SOCKS4${auth}")
  orbenix_proxy_check(${scheme}_socks4a EXIT 0 STDOUT "${ok}"
    PARAMETER "#URL=${scheme}://localhost:@panel_${scheme}@#KEY=k#HSH=h#PRU=T#PRH=127.0.0.1#PRP=@socks_own@#PRT=SOCKS4A#")
endforeach()

# Refusals end the check at the send (line 550) with what happened.
set(panel "#URL=http://127.0.0.1:@panel_http@#KEY=k#HSH=h#PRU=T#PRH=127.0.0.1#PRP=")
set(wrong "#PRA=T#PRAU=pxuser#PRAP=d3Jvbmc=#")  # password "wrong"
set(refused "^SOLUSVM UNKNOWN - ERROR:  30073 \\(")
orbenix_proxy_check(web_wrong_password EXIT 3 PARAMETER "${panel}@webauth@#PRT=WST${wrong}"
  STDOUT "${refused}Proxy 127\\.0\\.0\\.1:[0-9]+ refused the credentials \\(HTTP 401\\)\\) line:  550 \\| ")
orbenix_proxy_check(relay_wrong_password EXIT 3 PARAMETER "${panel}@webauth@#PRT=RELAY${wrong}"
  STDOUT "${refused}Proxy 127\\.0\\.0\\.1:[0-9]+ refused the credentials \\(HTTP 401\\)\\) line:  550 \\| ")
orbenix_proxy_check(socks5_wrong_password EXIT 3 PARAMETER "${panel}@socksauth@#PRT=SOCKS5${wrong}"
  STDOUT "${refused}SOCKS5 proxy 127\\.0\\.0\\.1:[0-9]+ refused the credentials \\(status [0-9]+\\)\\) line:  550 \\| ")
orbenix_proxy_check(socks5_no_credentials EXIT 3 PARAMETER "${panel}@socksauth@#PRT=SOCKS5#"
  STDOUT "${refused}SOCKS5 proxy 127\\.0\\.0\\.1:[0-9]+ requires authentication, and none is set\\) line:  550 \\| ")
# Port 1 on loopback: nothing listens there.
set(closed_target "#URL=http://127.0.0.1:1#KEY=k#HSH=h#PRU=T#PRH=127.0.0.1#PRP=")
orbenix_proxy_check(web_target_refused EXIT 3 PARAMETER "${closed_target}@web@#PRT=WST#"
  STDOUT "^SOLUSVM UNKNOWN - ERROR:  30072 \\(Proxy 127\\.0\\.0\\.1:[0-9]+ could not open a tunnel to 127\\.0\\.0\\.1:1: HTTP 500 Unable to connect\\) line:  550 \\| ")
orbenix_proxy_check(socks5_target_refused EXIT 3 PARAMETER "${closed_target}@dante@#PRT=SOCKS5#"
  STDOUT "^SOLUSVM UNKNOWN - ERROR:  30072 \\(SOCKS5 proxy 127\\.0\\.0\\.1:[0-9]+ could not reach 127\\.0\\.0\\.1:1: connection refused \\(reply 5\\)\\) line:  550 \\| ")
orbenix_proxy_check(socks4_target_refused EXIT 3 PARAMETER "${closed_target}@dante@#PRT=SOCKS4#"
  STDOUT "^SOLUSVM UNKNOWN - ERROR:  30072 \\(SOCKS4 proxy 127\\.0\\.0\\.1:[0-9]+ could not reach 127\\.0\\.0\\.1:1: request rejected or failed \\(reply 91\\)\\) line:  550 \\| ")
orbenix_proxy_check(socks4a_target_refused EXIT 3 PARAMETER "${closed_target}@socks_own@#PRT=SOCKS4A#"
  STDOUT "^SOLUSVM UNKNOWN - ERROR:  30072 \\(SOCKS4a proxy 127\\.0\\.0\\.1:[0-9]+ could not reach 127\\.0\\.0\\.1:1: request rejected or failed \\(reply 91\\)\\) line:  550 \\| ")
orbenix_proxy_check(closed_proxy_port EXIT 3 PARAMETER "${panel}1#PRT=SOCKS5#"
  STDOUT "^SOLUSVM UNKNOWN - ERROR:  30011 \\(Could not connect to SOCKS5 proxy 127\\.0\\.0\\.1:1 \\(for 127\\.0\\.0\\.1:[0-9]+\\): [^\n]*\\) line:  550 \\| ")
orbenix_proxy_check(proxy_port_zero EXIT 3 PARAMETER "#URL=http://127.0.0.1:@panel_http@#KEY=k#HSH=h#PRU=T#PRH=127.0.0.1#PRT=SOCKS5#"
  STDOUT "^SOLUSVM UNKNOWN - ERROR:  30071 \\(SOCKS5 proxy 127\\.0\\.0\\.1: the proxy port 0 is not between 1 and 65535\\) line:  550 \\| ")
# No proxy: whatever the proxy fields hold, the check goes straight to the panel.
orbenix_proxy_check(proxy_off_ignores_fields EXIT 0 STDOUT "${ok}"
  PARAMETER "#URL=http://127.0.0.1:@panel_http@#KEY=k#HSH=h#PRU=F#PRH=#PRP=0#PRT=SOCKS5#PRA=T#PRAU=x#PRAP=${secret}#")
