# The production bench in the same package: its program, desktop entry and
# man page. Results go through Qt SQL: the SQLite driver is needed for the
# default store, the PostgreSQL driver only for a line's shared server.
install(TARGETS zel-bench RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES zel-bench.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

if(HELP2MAN)
    set(bench_page ${CMAKE_CURRENT_BINARY_DIR}/zel-bench.1)
    add_custom_command(
        OUTPUT ${bench_page}.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${HELP2MAN} --no-info --no-discard-stderr --section=1
                "--name=production bench for ZEL-03 units, several at once, results kept"
                --output=${bench_page} $<TARGET_FILE:zel-bench>
        COMMAND gzip -9n -f ${bench_page}
        DEPENDS zel-bench
        VERBATIM)
    add_custom_target(bench_man_page ALL DEPENDS ${bench_page}.gz)
    install(FILES ${bench_page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    if(NOT ZEL_SANITIZE AND NOT ZEL_FUZZ)
        add_test(NAME man_page_zel-bench
                 COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/check_man_options.sh
                         $<TARGET_FILE:zel-bench> ${bench_page}.gz)
        set_tests_properties(man_page_zel-bench PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
endif()

string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql")
