# The RTCP encoders.
nodal_test(rtp_test SOURCES rtcp_test.cpp LIBS rtp)
