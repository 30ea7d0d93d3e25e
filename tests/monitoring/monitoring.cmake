# The monitoring service, its data holder and the SNMP agent links, with the
# simulated board, the test clock, a test controller and fake agents over
# loopback TCP.
nodal_test(monitoring_test
  SOURCES monitoring_data_test.cpp snmp_agent_test.cpp monitoring_ctl_test.cpp
  LIBS monitoring core messages simboard testsupport)
target_compile_definitions(monitoring_test PRIVATE
  AGENT_VECTORS="${CMAKE_CURRENT_SOURCE_DIR}/vectors/agent_vectors.txt")

# Re-makes the agent link's octets with Erlang's asn1 and compares them.
add_test(NAME monitoring_erlang_vectors
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/vectors/agent_vectors.py
          --check ${CMAKE_CURRENT_SOURCE_DIR}/vectors/agent_vectors.txt)
set_tests_properties(monitoring_erlang_vectors PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
