# proxy_bench: a check through each proxy kind against libcurl through the
# same proxy (the proxy tests' fixture starts tinyproxy, microsocks, dante,
# our SOCKS4a server and nginx).
if(NOT WIN32)
  add_executable(proxy_bench ${CMAKE_CURRENT_LIST_DIR}/proxy_bench.cpp)
  target_link_libraries(proxy_bench PRIVATE orbenix_bench_support)
  target_compile_definitions(proxy_bench PRIVATE
    ORBENIX_PROXIES_FIXTURE="${PROJECT_SOURCE_DIR}/tests/support/proxies/proxies_fixture.sh"
    ORBENIX_BENCH_STATE="${CMAKE_CURRENT_BINARY_DIR}/proxies-bench")
endif()
