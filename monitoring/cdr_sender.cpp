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
    // A word needs an address and a port. 0.0.0.0 is no destination: Linux
    // delivers it to the local host.
    INet4::Addr to;
    int port = -1;
    if (!to.Assign(word, &port) || port < 0 || to.sockaddr().sin_addr.s_addr == htonl(INADDR_ANY)) {
      std::cerr << "CDR_Sender: skip invalid address " << ext::quoted(word) << std::endl;
      continue;
    }
    const sockaddr_in& dest = to.sockaddr();
    ::sendto(socket_.get(), record.data(), record.size(), 0, reinterpret_cast<const sockaddr*>(&dest), sizeof dest);
  }
  return true;
}

}  // namespace CDR_Sender
