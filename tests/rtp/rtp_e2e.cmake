# The RTP, ED-137 and LEMZ slots through nodalsrv-sim, driven over TCP as
# the controller would, with radio traffic at the simulated header-extension driver.
if(TARGET nodalsrv-sim)
  nodal_test(rtp_e2e_test SOURCES rtp_e2e_test.cpp LIBS messages simboard testsupport)
  target_compile_definitions(rtp_e2e_test PRIVATE NODALSRV_SIM="$<TARGET_FILE:nodalsrv-sim>")
  add_dependencies(rtp_e2e_test nodalsrv-sim)
endif()
