#include "foundation/control_service.h"

#include <iostream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "foundation/profile.h"
#include "foundation/strm_protocol.h"
#include "foundation/tpkt_protocol.h"

namespace Control {

namespace {
Profile::Point sendBuild("Control::Service::Send [1]");
Profile::Point sendDown("Control::Service::Send [2]");
}  // namespace

const char* GetTextNotation(Service::State::Type state) {
  switch (state) {
  case Service::State::Idle:
    return "Idle";
  case Service::State::Connecting:
    return "Connecting";
  case Service::State::Deactivating:
    return "Deactivating";
  case Service::State::Connected:
    return "Connected";
  }
  return "Unknown";
}

Service::Service(bool log)
    : state_(State::Idle), log_(log), notify_(nullptr), stream_(new StrmProtocol) {
  add_protocol_tail(stream_);
  add_protocol_tail(new Tpkt_protocol);
  disconnect_.Bind(this, &Service::OnDeactivateDPC);
}

Service::~Service() { disconnect_.Deactivate(); }

void Service::service_name(const std::string& name) { stream_->service_name(name); }
const std::string& Service::service_name() const { return stream_->service_name(); }

bool Service::Activate() {
  Deactivate();
  state_ = State::Connecting;
  bool started = ImplActivate();
  if (!started)
    state_ = State::Idle;
  return started;
}

void Service::Deactivate() {
  ImplDeactivate();
  state_ = State::Idle;
}

void Service::Disconnect() {
  if (state_ == State::Deactivating)
    return;
  deactivate();
}

bool Service::Send(char const* data, int length) {
  if (state_ == State::Deactivating)
    return false;
  if (state_ != State::Connected) {
    if (log_)
      std::cerr << "Control::Service::Send() ignore Send request in " << GetTextNotation(state_) << " state."
                << std::endl;
    return false;
  }
  if (length < 0 || static_cast<unsigned>(length) > Tpkt_protocol::MaxPayload) {
    std::cerr << "Control::Service::Send() refuse payload of " << length << " octets, max "
              << Tpkt_protocol::MaxPayload << "." << std::endl;
    return false;
  }
  sendBuild.begin();
  Packet p;
  prepare_head(p);
  p.passert(!p.null(), "null packet");
  p.passert(static_cast<unsigned>(length) <= p.tailroom(), "len<=_tailroom()");
  p.put(data, static_cast<unsigned>(length));
  sendBuild.hand_over(sendDown);
  message(p);
  sendDown.end();
  return state_ == State::Connected;
}

void Service::Release() { stream_->release(); }

uint32_t Service::GetOverflowCounter() const { return stream_->overflow_counter(); }
const Measure& Service::get_read_measure() const { return stream_->read_measure(); }
const Measure& Service::get_write_measure() const { return stream_->write_measure(); }

void Service::on_message(Packet& p) {
  if (state_ == State::Deactivating || !notify_)
    return;
  p.passert(!p.null(), "null packet");
  notify_->OnMessage(reinterpret_cast<char const*>(p.data()), static_cast<int>(p.length()));
}

void Service::on_deactivated(Protocol*, Protocol_status) {
  if (state_ == State::Deactivating)
    return;
  if (log_)
    std::cerr << "control connection " << peer_ << " closed." << std::endl;
  state_ = State::Deactivating;
  disconnect_.Activate();
}

void Service::OnDeactivateDPC() {
  disconnect_.Deactivate();
  // The owner may have deactivated or restarted the service meanwhile.
  if (state_ == State::Deactivating) {
    state_ = State::Connecting;
    ImplOnDisconnect();
  }
  if (notify_)
    notify_->OnDisconnect();
}

void Service::attach_connection(const Fd& fd, const std::string& peer) {
  peer_ = peer;
  state_ = State::Connected;  // before OnConnect, so that it may Send
  stream_->attach(fd);
  activate();
  if (notify_)
    notify_->OnConnect();
}

bool ServiceNet::Connected(const Fd& fd, const INet4::Addr& peer) {
  if (state_ == State::Deactivating)
    return false;
  int on = 1;
  if (setsockopt(fd.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0 && log())
    std::cerr << "fail set keepalive to control socket." << std::endl;
  if (setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0 && log())
    std::cerr << "fail to turn off Nagle algorithm." << std::endl;
  peerAddr_ = peer;
  attach_connection(fd, peer.GetString());
  return true;
}

}  // namespace Control
