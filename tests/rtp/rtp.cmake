# The RTCP encoders, and the RTP slot and factory against the simulated
# RTP, voice, tone, DSP and switch drivers, driven by the test controller.
nodal_test(rtp_test
  SOURCES rtcp_test.cpp rtp_slot_test.cpp rtp_factory_test.cpp
  LIBS rtp core messages simboard testsupport)
