# Every channel slot kind through nodalsrv-sim, driven over TCP as the
# controller would.
if(TARGET nodalsrv-sim)
  nodal_test(slots_e2e_test SOURCES slots_e2e_test.cpp LIBS messages simboard testsupport)
  target_compile_definitions(slots_e2e_test PRIVATE NODALSRV_SIM="$<TARGET_FILE:nodalsrv-sim>")
  add_dependencies(slots_e2e_test nodalsrv-sim)
endif()
