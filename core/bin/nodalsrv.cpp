// The gateway daemon.
#include "core/startup.h"

int main(int argc, char** argv) { return nodalsrv_main(argc, argv); }
