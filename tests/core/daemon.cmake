# The real daemon against the simulated board, started as a process and
# driven over TCP as the controller would; and the daemon itself for what
# it does without a board (its command line).
if(TARGET nodalsrv-sim)
  nodal_test(daemon_e2e_test SOURCES daemon_e2e_test.cpp LIBS messages simboard testsupport)
  target_compile_definitions(daemon_e2e_test PRIVATE NODALSRV_SIM="$<TARGET_FILE:nodalsrv-sim>"
                                                     NODALSRV="$<TARGET_FILE:nodalsrv>")
  add_dependencies(daemon_e2e_test nodalsrv-sim nodalsrv)
endif()
