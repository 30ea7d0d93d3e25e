#pragma once
// The base of every slot factory. Every factory pushes itself on the head of
// one global chain when it is constructed, so a create command asks the
// newest factory first. Factories are singletons that live until exit.
#include <list>

#include "messages/LGCP/LGCP.h"

class Slot;

class SlotFactory {
public:
  SlotFactory();
  // Empties the list of live slots; the factory stays in the chain.
  virtual ~SlotFactory();
  SlotFactory(const SlotFactory&) = delete;
  SlotFactory& operator=(const SlotFactory&) = delete;

  virtual char const* GetName() const = 0;
  // A new slot when the parameters are of this factory's kind and resources
  // allow, else null.
  virtual Slot* INewSlot(LGCP::CreateParams const& params) = 0;
  // Fills in this factory's part of the resources report.
  virtual void Query(LGCP::Resources& resources) = 0;
  // Every trunk status signal.
  virtual void SelfSignal(LGCP::Signal const&) {}

  // INewSlot; a slot it returns is linked to this factory and listed.
  Slot* NewSlot(LGCP::CreateParams const& params);
  void Remove(Slot* slot);

  SlotFactory* next() const { return next_; }
  const std::list<Slot*>& slots() const { return slots_; }

protected:
  // An E1 trunk status signal goes to OnTrunkStatus of each of this
  // factory's slots; other signals (BRI line status among them) are ignored.
  void PassTrunkStatus(LGCP::Signal const& sig);

private:
  std::list<Slot*> slots_;
  SlotFactory* next_;
};

// The head of the factory chain: the newest factory, null before any.
extern SlotFactory* firstFactory;
