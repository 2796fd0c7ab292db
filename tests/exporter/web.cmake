# Tests of the web configuration, its TLS context and basic authentication.
find_package(OpenSSL REQUIRED)
target_sources(exporter_tests PRIVATE
  basic_auth_test.cpp
  tls_server_context_test.cpp
  web_config_test.cpp)
target_link_libraries(exporter_tests PRIVATE OpenSSL::SSL OpenSSL::Crypto PkgConfig::LIBCRYPT)
