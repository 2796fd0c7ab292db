# Windows backends: Winsock transport and Schannel TLS.
