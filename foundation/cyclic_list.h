#pragma once
// An intrusive ring list: the node sits inside the object it links. A ring
// is entered through a head node; an empty ring's head points to itself
// both ways, so begin() == end() at once.
#include <cstddef>

namespace Containers {

class CyclicList {
public:
  CyclicList() { InternalInit(); }
  CyclicList(const CyclicList&) = delete;
  CyclicList& operator=(const CyclicList&) = delete;

  class TIterator {
  public:
    TIterator() : node_(nullptr) {}
    explicit TIterator(CyclicList* node) : node_(node) {}
    bool operator==(const TIterator& other) const { return node_ == other.node_; }
    bool operator!=(const TIterator& other) const { return node_ != other.node_; }
    CyclicList* operator*() const { return node_; }
    TIterator& operator++() {
      node_ = node_->next;
      return *this;
    }

  private:
    CyclicList* node_;
  };

  void InternalInit() { next = prev = this; }
  // Joins prev and next around a node taken out from between them.
  static void InternalDel(CyclicList* prev, CyclicList* next) {
    next->prev = prev;
    prev->next = next;
  }
  // Links node in between prev and next (neighbours in the ring).
  static void InternalAdd(CyclicList* node, CyclicList* prev, CyclicList* next) {
    next->prev = node;
    node->next = next;
    node->prev = prev;
    prev->next = node;
  }

  // On a head node: link node first, or last (just before the head).
  void AddHead(CyclicList* node) { InternalAdd(node, this, next); }
  void AddTail(CyclicList* node) { InternalAdd(node, prev, this); }
  // Takes this node out of its ring; it becomes a ring of its own.
  void Del() {
    InternalDel(prev, next);
    InternalInit();
  }
  bool Empty() const { return next == this; }

  TIterator begin() { return TIterator(next); }
  TIterator end() { return TIterator(this); }

  CyclicList* next;
  CyclicList* prev;
};

// The object of type T that embeds node as its member.
template <class T>
T* offset(CyclicList* node, CyclicList T::*member) {
  // The member's position, taken from storage that holds no object (no
  // constructor runs, nothing is read).
  alignas(T) static unsigned char probe[sizeof(T)];
  T* base = reinterpret_cast<T*>(probe);
  std::ptrdiff_t at = reinterpret_cast<unsigned char*>(&(base->*member)) - probe;
  return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(node) - at);
}

}  // namespace Containers
