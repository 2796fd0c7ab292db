# Builds the Debian package from this build tree into a fresh folder and
# checks its name, its file list, its dependencies and the program in it.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DVERSION=... -DSANITIZED=ON|OFF -P package_test.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND cpack -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${WORK_DIR}"
  WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE arch OUTPUT_STRIP_TRAILING_WHITESPACE)
set(deb "${WORK_DIR}/orbenix-check_${VERSION}_${arch}.deb")
if(NOT EXISTS "${deb}")
  file(GLOB made "${WORK_DIR}/*.deb")
  message(FATAL_ERROR "no ${deb}; cpack made: ${made}")
endif()

execute_process(COMMAND dpkg-deb --contents "${deb}" OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\\./[^\n]*" entries "${listing}")
set(expected
  "./usr/"
  "./usr/bin/"
  "./usr/bin/orbenix-check -> ../lib/nagios/plugins/check_orbenix"
  "./usr/lib/"
  "./usr/lib/nagios/"
  "./usr/lib/nagios/plugins/"
  "./usr/lib/nagios/plugins/check_orbenix"
  "./usr/share/"
  "./usr/share/doc/"
  "./usr/share/doc/orbenix-check/"
  "./usr/share/doc/orbenix-check/changelog.gz"
  "./usr/share/doc/orbenix-check/copyright"
  "./usr/share/doc/orbenix-check/examples/"
  "./usr/share/doc/orbenix-check/examples/icinga2-orbenix.conf"
  "./usr/share/doc/orbenix-check/examples/nagios-orbenix.cfg"
  "./usr/share/man/"
  "./usr/share/man/man1/"
  "./usr/share/man/man1/orbenix-check.1.gz")
list(SORT entries)
list(SORT expected)
if(NOT entries STREQUAL expected)
  message(FATAL_ERROR "file list differs:\n${listing}")
endif()
string(REGEX MATCH "-rwxr-xr-x [^\n]*check_orbenix\n" executable "${listing}")
if(NOT executable)
  message(FATAL_ERROR "check_orbenix is not installed executable:\n${listing}")
endif()

set(GLIBC 2.36)
execute_process(COMMAND dpkg-deb --field "${deb}" Package Version Architecture Depends
  OUTPUT_VARIABLE fields COMMAND_ERROR_IS_FATAL ANY)
set(expected_fields "Package: orbenix-check\nVersion: ${VERSION}\nArchitecture: ${arch}\nDepends: libc6 (>= ${GLIBC}), libssl3 (>= 3.0.0)\n")
if(NOT fields STREQUAL expected_fields)
  message(FATAL_ERROR "control fields differ:\n${fields}")
endif()

# The packaged program runs, and needs no shared library the package does not name.
set(root "${WORK_DIR}/root")
execute_process(COMMAND dpkg-deb --extract "${deb}" "${root}" COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${root}/usr/bin/orbenix-check" --version
  RESULT_VARIABLE code OUTPUT_VARIABLE out)
if(NOT code EQUAL 3 OR NOT out MATCHES "^orbenix-check version [0-9]+\\.[0-9]+ build [0-9]+\n$")
  message(FATAL_ERROR "packaged program: exit ${code}, output ${out}")
endif()
if(NOT SANITIZED)
  execute_process(COMMAND readelf -d "${root}/usr/lib/nagios/plugins/check_orbenix"
    OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "Shared library: \\[[^]]+\\]" needed "${dynamic}")
  foreach(library IN LISTS needed)
    if(NOT library MATCHES "\\[(libc\\.so\\.6|libm\\.so\\.6|libssl\\.so\\.3|libcrypto\\.so\\.3|ld-linux[^]]*)\\]")
      message(FATAL_ERROR "the plugin needs ${library}, which the package does not depend on")
    endif()
  endforeach()
  # No symbol newer than the C library and OpenSSL versions the package names.
  execute_process(COMMAND objdump -T "${root}/usr/lib/nagios/plugins/check_orbenix"
    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "GLIBC_[0-9.]+" glibc_versions "${symbols}")
  foreach(version IN LISTS glibc_versions)
    string(REPLACE "GLIBC_" "" version "${version}")
    if(version VERSION_GREATER GLIBC)
      message(FATAL_ERROR "the plugin needs GLIBC ${version}, the package names ${GLIBC}")
    endif()
  endforeach()
  string(REGEX MATCHALL "OPENSSL_[0-9.]+" ssl_versions "${symbols}")
  foreach(version IN LISTS ssl_versions)
    string(REPLACE "OPENSSL_" "" version "${version}")
    if(version VERSION_GREATER 3.0.0)
      message(FATAL_ERROR "the plugin needs OpenSSL ${version}, the package names 3.0.0")
    endif()
  endforeach()
endif()
message("package ${deb}: ${listing}")
