#include "simboard/watchdog.h"

namespace SimBoard {

void Watchdog::received(OpenFile&, Bytes&& data) {
  if (records_.size() >= 4096)
    records_.pop_front();
  records_.push_back(as_text(data));
  ++total_;
}

}  // namespace SimBoard
