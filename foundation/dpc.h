#pragma once
// Deferred procedure calls: run by the loop twice every turn while active.

class DpcHandler {
public:
  virtual void Invoke() = 0;
  virtual ~DpcHandler() = default;
};

template <class T>
class TDpcHandler : public DpcHandler {
public:
  TDpcHandler(T* obj, void (T::*fn)()) : obj_(obj), fn_(fn) {}
  void Invoke() override { (obj_->*fn_)(); }

private:
  T* obj_;
  void (T::*fn_)();
};

class DpcHandler1 : public DpcHandler {
public:
  explicit DpcHandler1(void (*fn)()) : fn_(fn) {}
  void Invoke() override { fn_(); }

private:
  void (*fn_)();
};

class Dpc {
public:
  Dpc() : handler_(nullptr), active_(false) {}
  Dpc(const Dpc&) = delete;
  Dpc& operator=(const Dpc&) = delete;
  ~Dpc() {
    Deactivate();
    delete handler_;
  }

  void Activate();
  void Deactivate();
  void Bind(DpcHandler* handler) {
    if (handler == handler_)
      return;
    delete handler_;
    handler_ = handler;
  }
  template <class T>
  void Bind(T* obj, void (T::*fn)()) {
    Bind(new TDpcHandler<T>(obj, fn));
  }

  bool active() const { return active_; }
  DpcHandler* handler() const { return handler_; }

private:
  DpcHandler* handler_;
  bool active_;
};
