# T.38 slots with a test program standing in for the T.38 program; in a
# binary of its own, as the child watcher reaps every child of the process.
nodal_test(t38_test SOURCES t38_test.cpp LIBS slots simboard testsupport)
