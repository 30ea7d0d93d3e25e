# The RTP slot through nodalsrv-sim, driven over TCP as the controller would.
if(TARGET nodalsrv-sim)
  nodal_test(rtp_e2e_test SOURCES rtp_e2e_test.cpp LIBS messages testsupport)
  target_compile_definitions(rtp_e2e_test PRIVATE NODALSRV_SIM="$<TARGET_FILE:nodalsrv-sim>")
  add_dependencies(rtp_e2e_test nodalsrv-sim)
endif()
