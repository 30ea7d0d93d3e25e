#pragma once
// Layered protocol stacks. A Protocol is one layer; a ProtocolsList holds
// its layers from the bottom (head) to the top (tail) and owns them; a
// ProtocolsFamily behaves as one layer of an outer stack, or as the top of
// a link, by forwarding to its inner layers. Packets go down through
// message/transmit and up through receive/on_message; activation runs
// bottom-up, an orderly deactivation top-down, and failures travel up as
// Protocol_status_error reports.
#include <ostream>
#include <string>

#include "foundation/dual_list.h"
#include "foundation/packet.h"
#include "foundation/smart_pointer.h"

class Protocol;
class ProtocolsList;

class Protocol_name {
public:
  virtual ~Protocol_name() = default;
  virtual int kind() const = 0;
  virtual const char* name() const = 0;
  virtual bool compare(const Protocol_name& other) const = 0;
};

class Protocol_name_null : public Protocol_name {
public:
  int kind() const override { return 0; }
  const char* name() const override { return "(no name)"; }
  bool compare(const Protocol_name& other) const override { return other.kind() == 0; }
};

class Protocol_name_str : public Protocol_name {
public:
  explicit Protocol_name_str(const char* text) : text_(text ? text : "(no name)") {}
  int kind() const override { return 1; }
  const char* name() const override { return text_.c_str(); }
  bool compare(const Protocol_name& other) const override {
    return other.kind() == 1 && text_ == other.name();
  }

private:
  std::string text_;
};

// A reference-counted report of a layer's outcome.
class Internal_protocol_status {
public:
  explicit Internal_protocol_status(Protocol* reporter) : reporter_(reporter), count_(0) {}
  virtual ~Internal_protocol_status() = default;
  virtual bool success() const = 0;
  virtual std::string message() const = 0;
  virtual void out(std::ostream& out) const = 0;

  Protocol* reporter() const { return reporter_; }
  void smart_ref() { ++count_; }
  unsigned smart_unref() { return count_ ? --count_ : 0; }

private:
  Protocol* reporter_;
  uint32_t count_;
};

typedef Smart_pointer<Internal_protocol_status> Protocol_status;

class Protocol_status_success : public Internal_protocol_status {
public:
  Protocol_status_success(Protocol* reporter, const std::string& text)
      : Internal_protocol_status(reporter), text_(text) {}
  bool success() const override { return true; }
  std::string message() const override { return text_; }
  void out(std::ostream& out) const override { out << text_; }

private:
  std::string text_;
};

class Protocol_status_error : public Internal_protocol_status {
public:
  Protocol_status_error(Protocol* reporter, const std::string& text)
      : Internal_protocol_status(reporter), text_(text) {}
  bool success() const override { return false; }
  std::string message() const override { return text_; }
  void out(std::ostream& out) const override { out << text_; }

private:
  std::string text_;
};

class Protocol_initialize_error : public Protocol_status_error {
public:
  explicit Protocol_initialize_error(Protocol* reporter) : Protocol_status_error(reporter, "error") {}
};

class Protocol_info {
public:
  virtual ~Protocol_info() = default;
  virtual bool compare_name(const Protocol_name&) const { return false; }
  virtual const Protocol_name& name() const { return name_; }

private:
  Protocol_name_null name_;
};

class Protocol : public Protocol_info, public F_dual_list_item<Protocol> {
public:
  Protocol() : owner_(nullptr) {}
  Protocol(const Protocol&) = delete;
  Protocol& operator=(const Protocol&) = delete;
  ~Protocol() override;

  virtual void local_prepare_head(Packet& p) { p.reserve_head(0); }
  virtual void local_prepare_tail(Packet& p) { p.reserve_tail(0); }
  virtual Protocol_status local_initialize() { return new Protocol_status_success(this, "success"); }
  virtual void local_activate() { on_activate(); }
  virtual void local_deactivate() { on_deactivate(new Protocol_status_success(this, "success")); }
  virtual void transmit(Packet& p);
  virtual void on_message(Packet& p);
  virtual void on_activate();
  virtual void on_deactivate(Protocol_status s);
  virtual void on_status(Protocol_status s);
  virtual void message(Packet&) {}
  virtual void receive(Packet&) {}
  virtual void activate();
  virtual void deactivate() { local_deactivate(); }
  virtual void protocol_info(std::ostream&) const {}

  void prepare_head(Packet& p);
  void prepare_tail(Packet& p);
  Protocol_status initialize();

  Protocol* above() const { return list_next(); }
  Protocol* below() const { return list_prev(); }
  ProtocolsList* owner() const { return owner_; }

protected:
  void descend_prepare_head(Packet& p) {
    if (below())
      below()->prepare_head(p);
  }
  void descend_prepare_tail(Packet& p) {
    if (below())
      below()->prepare_tail(p);
  }

private:
  friend class ProtocolsList;
  ProtocolsList* owner_;
};

class ProtocolsList : public Protocol {
public:
  ProtocolsList() = default;
  ~ProtocolsList() override;

  virtual void on_activated(Protocol*) {}
  virtual void on_deactivated(Protocol*, Protocol_status) {}
  virtual void add_protocol_head(Protocol* p);
  virtual void add_protocol_tail(Protocol* p);

  Protocol* search(const Protocol_name& name) const;
  Protocol* bottom() const { return layers_.head(); }
  Protocol* top() const { return layers_.tail(); }
  uint32_t layer_count() const { return layers_.count(); }

private:
  friend class Protocol;
  F_dual_list<Protocol> layers_;
};

class ProtocolsFamily : public ProtocolsList {
public:
  void message(Packet& p) override {
    if (top())
      top()->message(p);
  }
  void receive(Packet& p) override {
    if (bottom())
      bottom()->receive(p);
  }
  void local_prepare_head(Packet& p) override;
  void local_prepare_tail(Packet& p) override;
  Protocol_status local_initialize() override;
  void local_activate() override {
    if (top())
      top()->activate();
  }
  void local_deactivate() override {
    if (top())
      top()->deactivate();
  }
  void on_activated(Protocol* p) override {
    if (p == top())
      on_activate();
  }
  void on_deactivated(Protocol*, Protocol_status s) override { on_deactivate(s); }
};
