# The proxy protocols.
target_sources(orbenix_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/proxy_connect.cpp)
