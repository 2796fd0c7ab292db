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
set(CPACK_DEBIAN_EXPORTER_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_LIST_DIR}/debian/postinst ${CMAKE_CURRENT_LIST_DIR}/debian/prerm
  ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)
set(CPACK_DEBIAN_EXPORTER_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

# orbenix_deb_docs(COMPONENT PACKAGE COPYRIGHT): what Debian's policy asks in
# every package's share/doc/PACKAGE: the copyright file and the changelog,
# here one entry for this version, compressed reproducibly (dated by
# SOURCE_DATE_EPOCH when it is set). Made at configure time, so that a build
# of only the programs and manual pages (scripts/demo.sh) packs them too.
function(orbenix_deb_docs component package copyright)
  string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
  set(changelog ${CMAKE_CURRENT_BINARY_DIR}/${package}.changelog)
  file(CONFIGURE OUTPUT ${changelog} CONTENT
"${package} (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
  execute_process(COMMAND gzip -9nc ${changelog} OUTPUT_FILE ${changelog}.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${changelog}.gz DESTINATION share/doc/${package} RENAME changelog.gz COMPONENT ${component})
  install(FILES ${copyright} DESTINATION share/doc/${package} COMPONENT ${component})
endfunction()
orbenix_deb_docs(exporter orbenix-exporter ${CMAKE_CURRENT_LIST_DIR}/debian/copyright)
