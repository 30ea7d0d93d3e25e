#pragma once
// The bottom layer of a controller or agent link: one connected stream
// socket. Up, it delivers the bytes as the socket yields them, unframed;
// down, it writes each packet completely before returning, waiting at most
// 1000 ms for the socket to take it. Every socket failure closes the
// descriptor and travels up as a failed deactivation.
#include <ostream>
#include <string>

#include "foundation/event.h"
#include "foundation/fd.h"
#include "foundation/measure.h"
#include "foundation/protocol.h"

class StrmProtocol : public Protocol {
public:
  static constexpr unsigned WriteDeadlineMs = 1000;

  StrmProtocol();
  explicit StrmProtocol(const Fd& fd);
  ~StrmProtocol() override { release(); }

  // Takes a duplicate of fd (releasing the one held).
  void attach(const Fd& fd);
  // Stops watching and closes the descriptor, without a report.
  void release();
  bool attached() const { return static_cast<bool>(fd_); }

  void service_name(const std::string& name) { name_ = name; }
  const std::string& service_name() const { return name_; }

  int sendbuf_space() const;
  int recvbuf_space() const;
  int inq_space() const;
  int outq_space() const;
  int free_space() const;

  const Measure& read_measure() const { return readMeasure_; }
  const Measure& write_measure() const { return writeMeasure_; }
  uint32_t overflow_counter() const { return overflow_; }

  void PutHeader(std::ostream& out) const { out << "SockStream[" << name_ << "]: "; }

  void local_prepare_head(Packet& p) override { p.reserve_head(0); }
  void local_prepare_tail(Packet& p) override { p.reserve_tail(0); }
  void local_activate() override;
  void local_deactivate() override;
  void message(Packet& p) override;

private:
  void on_event(int fd, short revents);
  void do_read();
  void on_error(const std::string& text);
  void write_failed(const char* what, int error);

  Fd fd_;
  bool outqReportsFree_;
  std::string name_;
  Event event_;
  Measure readMeasure_;
  Measure writeMeasure_;
  uint32_t overflow_;
};
