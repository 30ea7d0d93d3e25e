#include "foundation/event.h"

#include "foundation/multiplexer.h"

void EventHandler::mux_attach() {
  if (!attached_) {
    multiplexer.attach(this);
    attached_ = true;
  }
}

void EventHandler::mux_detach() {
  if (attached_) {
    multiplexer.detach(this);
    attached_ = false;
  }
}

Event::~Event() {
  delete handler_;
  if (fd_)
    mux_detach();
  fd_.close();
}

void Event::Bind(Handler* handler) {
  if (handler == handler_)
    return;
  delete handler_;
  handler_ = handler;
}

void Event::Schedule(const Fd& fd, short events) {
  if (fd_)
    mux_detach();
  if (&fd != &fd_) {
    fd_.close();
    fd_.reset(fd.dup());
  }
  events_ = events;
  if (fd_)
    mux_attach();
}

void Event::Release() {
  if (fd_)
    mux_detach();
  fd_.close();
}

void Event::shedule_event(pollfd& entry) {
  entry.fd = fd_.get();
  entry.events = events_;
  entry.revents = 0;
}

void Event::svc_event(short revents) {
  if (revents & events_)
    ++count_;
  if (handler_)
    handler_->Invoke(fd_.get(), revents);
}
