# The board's control services (board test, bus clock, E1 framers and CAS,
# SPI line channels) on the control server, driven by the test controller
# over loopback TCP with the simulated board behind them.
nodal_test(board_services_test
  SOURCES board_services_test.cpp e1_ctl_test.cpp
  LIBS hardware core messages simboard testsupport)
