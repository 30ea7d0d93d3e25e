# Configuration file, syslog client, daemon mode and operating-system helpers.
nodal_test(ini_file_test SOURCES ini_file_test.cpp LIBS foundation)
nodal_test(ini_reader_test SOURCES ini_reader_test.cpp LIBS foundation)
nodal_test(syslog_client_test SOURCES syslog_client_test.cpp LIBS foundation testsupport)
