#include "foundation/dpc.h"

#include "foundation/multiplexer.h"

void Dpc::Activate() {
  if (!active_) {
    multiplexer.attach(this);
    active_ = true;
  }
}

void Dpc::Deactivate() {
  if (active_) {
    multiplexer.dettach(this);
    active_ = false;
  }
}
