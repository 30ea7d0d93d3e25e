#include "simboard/line_offers.h"

#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "simboard/board.h"
#include "simboard/dsp_data.h"
#include "simboard/hal.h"
#include "simboard/mcc.h"

namespace SimBoard {

namespace {
constexpr int TrunkChannels = 128;  // four E1 trunks of 32 time slots
}

void LineOffers::check(Board& board) {
  uint64_t changes = board.hal().changes();
  if (changes == seen_)
    return;
  seen_ = changes;
  auto consider = [&](OpenFile& file, int channel) {
    if (file.closed() || file.external() || offered_.count(file.id()))
      return;
    Hal::Output out = board.hal().output(channel);
    if (out.kind == Hal::Kind::Connected && out.source >= 0 && out.source < TrunkChannels &&
        offer(file, out.source, channel))
      offered_.insert(file.id());
  };
  Mcc& mcc = board.mcc();
  for (size_t i = 0; i < mcc.channel_count(); ++i)
    consider(mcc.channel(i).file(), mcc.channel(i).timeslot());
  DspData& dsp = board.dsp_data();
  for (size_t i = 0; i < dsp.channel_count(); ++i)
    consider(dsp.channel(i).file(), dsp.channel(i).timeslot());
}

bool LineOffers::offer(OpenFile& file, int trunkChannel, int channel) {
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  if (path_.size() >= sizeof to.sun_path)
    return false;
  memcpy(to.sun_path, path_.c_str(), path_.size());
  int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (sock < 0)
    return false;
  std::string text = std::to_string(trunkChannel) + " " + std::to_string(channel);
  iovec iov{&text[0], text.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr msg{};
  msg.msg_name = &to;
  msg.msg_namelen = sizeof to;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  cmsghdr* c = CMSG_FIRSTHDR(&msg);
  c->cmsg_level = SOL_SOCKET;
  c->cmsg_type = SCM_RIGHTS;
  c->cmsg_len = CMSG_LEN(sizeof(int));
  int simEnd = file.sim_fd();
  memcpy(CMSG_DATA(c), &simEnd, sizeof simEnd);
  bool sent = ::sendmsg(sock, &msg, MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
  ::close(sock);
  if (sent)
    ::close(file.hand_over());  // the peer holds its own descriptor now
  return sent;
}

}  // namespace SimBoard
