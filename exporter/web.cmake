# The web configuration (YAML), the TLS listener's OpenSSL context and basic
# authentication (bcrypt through libxcrypt's crypt_r).
find_package(yaml-cpp REQUIRED)
find_package(OpenSSL REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBCRYPT REQUIRED IMPORTED_TARGET GLOBAL libcrypt)

target_sources(orbenix_exporter PRIVATE
  basic_auth.cpp
  basic_credentials.cpp
  password_pool.cpp
  tls_client_names.cpp
  tls_server_context.cpp
  web_config.cpp)
target_link_libraries(orbenix_exporter PUBLIC OpenSSL::SSL OpenSSL::Crypto
  PRIVATE yaml-cpp PkgConfig::LIBCRYPT)
