#include "foundation/paths.h"

namespace Paths {

namespace {

std::string& rootDir() {
  static std::string dir;
  return dir;
}

unsigned short& relayPort() {
  static unsigned short port = kAuthRelayPort;
  return port;
}

}  // namespace

unsigned short auth_relay_port() { return relayPort(); }

void set_auth_relay_port(unsigned short port) { relayPort() = port; }

std::string resolve(const std::string& path) { return rootDir() + path; }

const std::string& root() { return rootDir(); }

void set_root(const std::string& dir) {
  std::string& r = rootDir();
  r = dir;
  while (!r.empty() && r.back() == '/')
    r.pop_back();
}

}  // namespace Paths
