# The web configuration (YAML), the TLS listener's OpenSSL context and basic
# authentication (bcrypt through libxcrypt's crypt_r).
