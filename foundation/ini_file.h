#pragma once
// The INI configuration document. Every occurrence of every section and key
// is kept, in file order, with its line number: a File holds Sections by
// name, each Section its occurrences (SubSection, one per header line), each
// SubSection its Keys by name, each Key its occurrences (SubKey, one per key
// line). Parsing is lenient and never fails; validation is the Reader's.
#include <istream>
#include <map>
#include <ostream>
#include <string>

namespace IniFile {

// Forward iteration over one level's list of nodes; the end holds null.
template <class T>
class GenericIterator {
public:
  explicit GenericIterator(T* node = nullptr) : node_(node) {}
  T& operator*() const { return *node_; }
  T* operator->() const { return node_; }
  GenericIterator& operator++() {
    if (node_)
      node_ = node_->Next();
    return *this;
  }
  GenericIterator operator++(int) {
    GenericIterator old(*this);
    ++*this;
    return old;
  }
  bool operator!=(const GenericIterator& other) const { return node_ != other.node_; }
  bool operator==(const GenericIterator& other) const { return node_ == other.node_; }

private:
  T* node_;
};

template <class T>
class OwnedList;

// Links of a node in its parent's ordered list.
template <class T>
class ListNode {
public:
  T* Next() const { return mNext; }
  T* Prev() const { return mPrev; }

protected:
  T* mNext = nullptr;
  T* mPrev = nullptr;

  template <class U>
  friend class OwnedList;
};

// An owned, ordered list of nodes (the parent deletes its children).
template <class T>
class OwnedList {
public:
  OwnedList() = default;
  OwnedList(const OwnedList&) = delete;
  OwnedList& operator=(const OwnedList&) = delete;
  ~OwnedList() { clear(); }

  T* append(T* node) {
    node->mPrev = last_;
    node->mNext = nullptr;
    if (last_)
      last_->mNext = node;
    else
      first_ = node;
    last_ = node;
    ++count_;
    return node;
  }
  void clear() {
    while (first_) {
      T* next = first_->mNext;
      delete first_;
      first_ = next;
    }
    last_ = nullptr;
    count_ = 0;
  }
  T* first() const { return first_; }
  T* last() const { return last_; }
  int count() const { return count_; }

private:
  T* first_ = nullptr;
  T* last_ = nullptr;
  int count_ = 0;
};

// One occurrence of a key line.
class SubKey : public ListNode<SubKey> {
public:
  SubKey(const std::string& value, int line) : mValue(value), mLineNo(line) {}

  const std::string& Value() const { return mValue; }
  int LineNo() const { return mLineNo; }

  bool GetBool(bool def) const;
  void SetBool(bool b);
  int GetInt(int def) const;
  void SetInt(int i);
  float GetFloat(float def) const;
  void SetFloat(float f);

  void Dump(std::ostream& out) const;

private:
  std::string mValue;
  int mLineNo;
};

// One key name within one section occurrence, with all its occurrences.
class Key : public ListNode<Key> {
public:
  typedef GenericIterator<SubKey> iterator;

  explicit Key(const std::string& name) : mName(name) {}

  const std::string& Name() const { return mName; }
  int Count() const { return mSubKeys.count(); }
  SubKey* First() const { return mSubKeys.first(); }
  iterator begin() const { return iterator(mSubKeys.first()); }
  iterator end() const { return iterator(); }

  SubKey* NewSubKey(const std::string& value, int line);
  // Gives a key without occurrences one empty occurrence at line -1.
  void CheckEmpty();

  void Dump(std::ostream& out) const;

private:
  std::string mName;
  OwnedList<SubKey> mSubKeys;
};

// One occurrence of a section header with the keys that follow it.
class SubSection : public ListNode<SubSection> {
public:
  typedef GenericIterator<Key> iterator;

  explicit SubSection(int line) : mLineNo(line) {}

  int LineNo() const { return mLineNo; }
  int KeyCount() const { return mKeys.count(); }
  iterator begin() const { return iterator(mKeys.first()); }
  iterator end() const { return iterator(); }

  // The key of that name; a missing one is created without occurrences.
  Key& operator[](const std::string& name);
  SubKey* NewSubKey(const std::string& key, const std::string& value, int line);

  void Dump(std::ostream& out) const;

private:
  int mLineNo;
  OwnedList<Key> mKeys;
  std::map<std::string, Key*> mKeyMap;
};

// All occurrences of one section name.
class Section : public ListNode<Section> {
public:
  typedef GenericIterator<SubSection> iterator;

  explicit Section(const std::string& name) : mName(name) {}

  const std::string& Name() const { return mName; }
  int Count() const { return mSubSections.count(); }
  SubSection* First() const { return mSubSections.first(); }
  iterator begin() const { return iterator(mSubSections.first()); }
  iterator end() const { return iterator(); }

  SubSection* NewSubSection(int line);
  // Gives a section without occurrences one empty occurrence at line -1.
  void CheckEmpty();

  void Dump(std::ostream& out) const;

private:
  std::string mName;
  OwnedList<SubSection> mSubSections;
};

// The parsed document.
class File {
public:
  typedef GenericIterator<Section> iterator;

  File() = default;
  explicit File(const std::string& name) { Open(name); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File() { Close(); }

  // Parses the named file; false (and an empty document) when it does not
  // open, or is no regular file (said in one log line).
  bool Open(const std::string& name);
  void Close();
  void Sync() {}

  bool IsOpened() const { return mOpened; }
  const std::string& FileName() const { return mFileName; }
  int SectionCount() const { return mSections.count(); }
  iterator begin() const { return iterator(mSections.first()); }
  iterator end() const { return iterator(); }

  // The section of that name; a missing one is created without occurrences.
  Section& operator[](const std::string& name);
  SubSection* NewSubSection(const std::string& name, int line);

  void Dump(std::ostream& out) const;

  friend std::istream& operator>>(std::istream& in, File& file);

private:
  void Parse(std::istream& in);

  std::string mFileName;
  bool mOpened = false;
  OwnedList<Section> mSections;
  std::map<std::string, Section*> mSectionMap;
};

std::istream& operator>>(std::istream& in, File& file);

}  // namespace IniFile
