# The orbenix-exporter Debian package, made by the CPack run of cli/ (which
# includes this file before CPack): the program, its systemd unit, the
# manual page, the sample configuration and the Prometheus scrape job.
set(CPACK_DEBIAN_EXPORTER_PACKAGE_NAME orbenix-exporter)
set(CPACK_DEBIAN_EXPORTER_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_EXPORTER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_EXPORTER_PACKAGE_DEPENDS
  "libc6 (>= 2.36), libstdc++6 (>= 12), libssl3 (>= 3.0.0), libtomlplusplus3 (>= 3.3.0), libyaml-cpp0.7, libcrypt1 (>= 1:4.1.0), passwd")
set(CPACK_DEBIAN_EXPORTER_PACKAGE_ENHANCES "prometheus")
set(CPACK_DEBIAN_EXPORTER_DESCRIPTION [[Prometheus exporter for the status of virtual servers on SolusVM panels
orbenix-exporter probes many virtual servers from one service: Prometheus
asks /probe?target=NAME, the exporter asks the server's SolusVM panel and
answers solusvm_up, solusvm_probe_success and the bandwidth, disk and
memory usage. Keys are read from files only.]])
set(CPACK_DEBIAN_EXPORTER_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/postinst)
set(CPACK_DEBIAN_EXPORTER_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
