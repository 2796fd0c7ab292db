# orbenix_man_page(TARGET PAGE COMPONENT): the manual page PAGE (beside the
# calling CMakeLists.txt) compressed reproducibly by the target TARGET and
# installed in share/man/man1 with COMPONENT.
function(orbenix_man_page target page component)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
  add_custom_command(OUTPUT ${compressed}
    COMMAND gzip -9nc ${CMAKE_CURRENT_SOURCE_DIR}/${page} > ${compressed}
    DEPENDS ${page} COMMENT "Compressing the manual page ${page}")
  add_custom_target(${target} ALL DEPENDS ${compressed})
  install(FILES ${compressed} DESTINATION share/man/man1 COMPONENT ${component})
endfunction()
