#pragma once
// Lines for peers in another process. A peer binds a SOCK_DGRAM Unix socket
// at a path; whenever the TDM switch carries a trunk channel (0..127) into
// a channel of the multi-channel controller or of the DSP data device, that
// channel's line is offered there once: one datagram whose text is the
// trunk channel and the channel's switch number ("16 256") and which
// carries the line's descriptor. While nobody is bound at the path the
// board keeps the channel's traffic, and the offer is made again later.
#include <cstdint>
#include <set>
#include <string>

namespace SimBoard {

class Board;
class OpenFile;

class LineOffers {
public:
  explicit LineOffers(std::string path) : path_(std::move(path)), seen_(~uint64_t(0)) {}

  // Offers the lines switched since the last call; cheap when the switch
  // has not changed.
  void check(Board& board);

private:
  bool offer(OpenFile& file, int trunkChannel, int channel);

  std::string path_;
  uint64_t seen_;               // switch changes at the last check
  std::set<uint64_t> offered_;  // open files (by id) whose line went
};

}  // namespace SimBoard
