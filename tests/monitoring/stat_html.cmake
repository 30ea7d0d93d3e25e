# HTML statistics page generator: template expansions.
nodal_test(stat_html_test SOURCES stat_html_test.cpp LIBS monitoring)
