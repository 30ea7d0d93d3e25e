#include "simboard/voice.h"

#include <cerrno>

namespace SimBoard {

Voice::Voice() : Device("/dev/voice") {
  reset();
  on(Channels, Arg::Value, [this](Request& r) {
    auto count = counts_.find(static_cast<uint32_t>(r.value()));
    if (count == counts_.end())
      return r.fail(EINVAL);
    return count->second < 0 ? r.fail(-count->second) : count->second;
  });
}

void Voice::reset() { counts_ = {{G711, 1024}, {G723, 256}, {G729, 256}, {G711Mcc, 64}, {Universal, 1024}}; }

}  // namespace SimBoard
