# Configuration file, syslog client, daemon mode and operating-system helpers.
nodal_test(ini_file_test SOURCES ini_file_test.cpp LIBS foundation)
nodal_test(ini_reader_test SOURCES ini_reader_test.cpp LIBS foundation)
nodal_test(syslog_client_test SOURCES syslog_client_test.cpp LIBS foundation testsupport)
nodal_test(os_helpers_test SOURCES os_helpers_test.cpp regular_file_test.cpp LIBS foundation)
# The child watcher reaps every child: no other test that forks may share its executable.
nodal_test(child_wait_test SOURCES child_wait_test.cpp LIBS foundation testsupport)
nodal_test(daemon_test SOURCES daemon_test.cpp LIBS foundation testsupport)
nodal_test(netif_test SOURCES netif_test.cpp LIBS foundation)
