#include "rtp/radio_control.h"

#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <list>

#include "foundation/device_io.h"
#include "foundation/mux_time.h"
#include "foundation/netif.h"

namespace RTPSignalling {

namespace {

// "/dev/rtp_ext" requests.
constexpr unsigned long RTP_EXT_INIT = 0xC0144500;
constexpr unsigned long RTP_EXT_ATTACH = 0xC0084501;
constexpr unsigned long RTP_EXT_DETACH = 0x20004502;
constexpr unsigned long RTP_EXT_NEXT_SOURCE = 0xC00C4503;
constexpr unsigned long RTP_EXT_FILTER = 0xC0084504;
constexpr unsigned long RTP_EXT_UNFILTER = 0x20004505;
// "/dev/rtp": joins the session to another session's extension stream.
constexpr unsigned long RTP_ATTACH_SESSION = 0xC0085209;

}  // namespace

const char* GetRtpExtDevName() { return "/dev/rtp_ext"; }

RadioControl::RadioControl(int id, const rtp_ext_attach_session_params& attach, const rtp_ext_init_params& init)
    : extAttach_(attach), extInit_(init), id_(static_cast<uint32_t>(id)) {
  Init(ExtAttached);
}

RadioControl::RadioControl(const rtp_ext_init_params& init) : extInit_(init), id_(0) { Init(ExtOnly); }

RadioControl::RadioControl(int id, const Fd& rtp, const rtp_attach_session_params& attach)
    : rtpFd_(rtp), rtpAttach_(attach), id_(static_cast<uint32_t>(id)) {
  Init(RtpAttached);
}

RadioControl::~RadioControl() {
  statusTimer_.reset();
  extEvent_.Release();
}

void RadioControl::Init(RadioControlType type) {
  type_ = type;
  lastStatus_ = Mux::milliseconds();
  interval_ = 1000;
  roleFlag_ = 0;
  filterActive_ = false;
  notify_ = nullptr;
  timerEnabled_ = false;
  trace_ = false;
  extEvent_.Bind("RadioControl::OnRtpExtEvent", &RadioControl::OnRtpExtEvent, this);
  RtpExtStart(true);
  std::list<INet4::Addr> addresses;
  Net::ifconfig(addresses, Net::Private);
  if (addresses.empty())
    localAddr_.Assign("127.0.0.1");
  else
    localAddr_ = addresses.front();
}

void RadioControl::Fail(const char* what) { std::cerr << GetPrefix() << what << std::endl; }

Fd RadioControl::OpenSession() {
  Fd fd(DevIo::open(GetRtpExtDevName(), O_RDWR | O_CLOEXEC));
  if (!fd) {
    Fail("create rtp_ext session fail !!!");
    return fd;
  }
  rtp_ext_init_params init = extInit_;
  if (DevIo::ioctl(fd.get(), RTP_EXT_INIT, &init) < 0) {
    Fail("init rtp_ext session fail !!!");
    fd.close();
  }
  return fd;
}

bool RadioControl::RtpExtStart(bool newSession) {
  if (type_ == RtpAttached) {
    rtp_attach_session_params attach = rtpAttach_;
    if (DevIo::ioctl(rtpFd_.get(), RTP_ATTACH_SESSION, &attach) < 0) {
      Fail("attach rtp session fail !!!");
      return false;
    }
    return true;
  }
  if (type_ == ExtOnly && !newSession)
    return true;
  Fd fd = OpenSession();
  if (!fd)
    return false;
  rtp_ext_attach_session_params attach = extAttach_;
  if (type_ == ExtAttached && DevIo::ioctl(fd.get(), RTP_EXT_ATTACH, &attach) < 0) {
    Fail("attach rtp_ext session fail !!!");
    return false;
  }
  extFd_.reset(fd.release());
  extEvent_.Schedule(extFd_, POLLIN);
  // A new session takes every source: the limit set on the one before
  // goes on to it.
  if (filterActive_)
    SetFilter();
  return true;
}

bool RadioControl::RtpExtStop() {
  // Without a session (its start failed, or it is stopped) there is
  // nothing to detach.
  if (type_ != ExtAttached || !extFd_)
    return true;
  rtp_ext_attach_session_params attach = extAttach_;
  if (DevIo::ioctl(extFd_.get(), RTP_EXT_DETACH, &attach) < 0)
    Fail("detach rtp_ext session fail !!!");
  extFd_.close();
  extEvent_.Release();
  return true;
}

void RadioControl::FollowSession(const Fd& session) {
  if (type_ == ExtAttached)
    extAttach_.fd_rtp = session.get();
  else if (type_ == RtpAttached)
    rtpFd_ = session;
}

void RadioControl::SetTimerEnable(bool on) {
  timerEnabled_ = on;
  if (on)
    SetTimer(interval_);
  else
    statusTimer_.reset();
}

void RadioControl::SetTimer(unsigned long ms) {
  statusTimer_.set(static_cast<unsigned>(ms), &RadioControl::OnProcessStatus, this);
}

void RadioControl::OnProcessStatus(Timer*) {
  const uint32_t now = Mux::milliseconds();
  lastStatus_ = now;
  SetTimer(ProcessRadioStatus(now, interval_));
}

void RadioControl::UpdateAccess(bool set, const in_addr& source) {
  const uint32_t address = ntohl(source.s_addr);
  if (set) {
    if (filterActive_ && filter_.addr == address)
      return;
    filter_.addr = address;
    filter_.reserved = 0;
    filterActive_ = true;
    SetFilter();
  } else if (filterActive_) {
    filter_ = rtp_ext_filter_params();
    filterActive_ = false;
    rtp_ext_filter_params f;
    if (DevIo::ioctl(extFd_.get(), RTP_EXT_UNFILTER, &f) < 0)
      Fail("reset filer rtp_ext session fail !!!");
  }
}

void RadioControl::SetFilter() {
  rtp_ext_filter_params f = filter_;
  if (DevIo::ioctl(extFd_.get(), RTP_EXT_FILTER, &f) < 0)
    Fail("set filer rtp_ext session fail !!!");
}

const std::string& RadioControl::GetPrefix() {
  Mux::timeval now;
  Mux::gettimeval(now);
  const std::string time = Mux::timevaltostring(now);
  char text[255];
  if (type_ == ExtOnly)
    snprintf(text, sizeof text, "rtp_ext %s:", time.c_str());
  else
    snprintf(text, sizeof text, "rtp_ext[%lu] %s:", static_cast<unsigned long>(id_), time.c_str());
  prefix_ = text;
  return prefix_;
}

void RadioControl::OnRtpExtEvent(int, short revents) {
  if ((revents & POLLIN) && trace_)
    std::clog << GetPrefix() << "receive extension packet(s)!" << std::endl;
}

ssize_t RadioControl::ReadNext(uint8_t* payload, size_t size) {
  DevIo::ioctl(extFd_.get(), RTP_EXT_NEXT_SOURCE, &source_);
  return DevIo::read(extFd_.get(), payload, size);
}

bool RadioControl::Write(const uint8_t* payload, size_t length) {
  return extFd_ && DevIo::write(extFd_.get(), payload, length) == static_cast<ssize_t>(length);
}

}  // namespace RTPSignalling
