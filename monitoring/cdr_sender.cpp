#include "monitoring/cdr_sender.h"

#include <iostream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>

#include "foundation/ext.h"
#include "foundation/inet4_addr.h"

namespace CDR_Sender {

Sender::Sender() : socket_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP)) {}

Sender::~Sender() = default;

bool Sender::SendTo(const std::string& record, const std::string& addresses) {
  if (!socket_)
    return false;
  std::istringstream words(addresses);
  std::string word;
  while (words >> word) {
    // 0.0.0.0 (what an unparsed word would leave) and port 0 are not
    // destinations: Linux delivers the former to the local host.
    INet4::Addr to;
    int port = -1;
    if (!to.Assign(word, &port) || to.sockaddr().sin_addr.s_addr == htonl(INADDR_ANY) || port <= 0 ||
        port > 0xFFFF) {
      std::cerr << "CDR_Sender: skip invalid address " << ext::quoted(word) << std::endl;
      continue;
    }
    const sockaddr_in& dest = to.sockaddr();
    ::sendto(socket_.get(), record.data(), record.size(), 0, reinterpret_cast<const sockaddr*>(&dest), sizeof dest);
  }
  return true;
}

}  // namespace CDR_Sender
