# IPv4 socket addresses: the "a.b.c.d:port" text form.
nodal_test(inet4_addr_test SOURCES inet4_addr_test.cpp LIBS foundation)
