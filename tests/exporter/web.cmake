# Tests of the web configuration, its TLS context and basic authentication.
