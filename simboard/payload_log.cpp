#include "simboard/payload_log.h"

namespace SimBoard {

void PayloadLog::add(uint64_t session, const Bytes& payload) {
  file_.add(std::to_string(session) + ' ' + as_hex(payload) + '\n');
}

}  // namespace SimBoard
