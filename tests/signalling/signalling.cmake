# The link layers' rings and counters, the frame printer and the Q.921 data links.
nodal_test(signalling_rings_test SOURCES clean_queue_test.cpp LIBS signalling)
nodal_test(frame_printer_test SOURCES frame_printer_test.cpp LIBS signalling)
nodal_test(lapd_test SOURCES lapd_test.cpp lapd_pair_test.cpp LIBS signalling testsupport)
nodal_test(lapd_nt_test SOURCES lapd_nt_test.cpp LIBS signalling testsupport)
# The Q.921 links, alone and in the slots, against libpri as an independent peer, on the real clock, with tshark
# decoding the captures.
find_library(LIBPRI pri)
if(LIBPRI)
  nodal_test(lapd_libpri_test SOURCES lapd_libpri_test.cpp LIBS signalling testsupport ${LIBPRI})
  nodal_test(slots_libpri_test SOURCES slots_libpri_test.cpp LIBS signalling core simboard testsupport ${LIBPRI})
endif()
# SS7 link control: alone, and two links back to back over a lossy line.
nodal_test(slc_test SOURCES slc_test.cpp slc_pair_test.cpp LIBS signalling testsupport)
# The signalling slots through the controller's commands, against the simulated board.
nodal_test(signalling_slots_test SOURCES hdlc_slot_test.cpp pstn_slot_test.cpp isdn_slot_test.cpp LIBS signalling core simboard testsupport)
# The signalling slots through nodalsrv-sim, driven over TCP as the
# controller would, with libss7 as an independent peer on a simulated line.
find_library(LIBSS7 ss7)
if(TARGET nodalsrv-sim AND LIBSS7)
  nodal_test(signalling_e2e_test SOURCES signalling_e2e_test.cpp LIBS messages foundation simboard testsupport ${LIBSS7} m)
  target_compile_definitions(signalling_e2e_test PRIVATE NODALSRV_SIM="$<TARGET_FILE:nodalsrv-sim>")
  add_dependencies(signalling_e2e_test nodalsrv-sim)
endif()
