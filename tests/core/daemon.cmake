# The real daemon against the simulated board, started as a process and
# driven over TCP as the controller would.
if(TARGET nodalsrv-sim)
  nodal_test(daemon_e2e_test SOURCES daemon_e2e_test.cpp LIBS messages testsupport)
  target_compile_definitions(daemon_e2e_test PRIVATE NODALSRV_SIM="$<TARGET_FILE:nodalsrv-sim>")
  add_dependencies(daemon_e2e_test nodalsrv-sim)
endif()
