#pragma once
// Statistics pages: an HTML template expanded against a tree of statistics
// objects.
//
// Template syntax:
//   %name%               the value `name` of the innermost object that knows
//                        it (searched outwards to the root); kept as written
//                        when none does. "%%" is copied as it is.
//   <!--GEN.name-->      a section up to its matching <!--GEN.end-->: run once
//                        per element of the sequence `name`, once with the
//                        sub-object `name`, or skipped when there is neither.
//   <...>                any other tag is copied untouched, markers included.
// The template stream must be seekable: a sequence's section is produced
// by seeking back to its start for every element.
#include <istream>
#include <list>
#include <memory>
#include <ostream>
#include <string>
#include <utility>

namespace Stat {

struct Value {
  Value() : valid(false) {}
  explicit Value(const std::string& value) : valid(true), text(value) {}
  explicit operator bool() const { return valid; }

  bool valid;
  std::string text;
};

class Object;

// A cursor over a sequence of objects.
class IteratorBase {
public:
  virtual ~IteratorBase() = default;
  // Back to the first element (the page generator does not use it).
  virtual void reset() = 0;
  virtual bool is_valid() const = 0;
  virtual bool next() = 0;
  virtual Object& current() = 0;
};

class Object {
public:
  virtual ~Object() = default;
  // Invalid when the object has no such value.
  virtual Value statistics_value(const std::string& name) const = 0;
  // Null when the object has no such sub-object.
  virtual Object* statistics_object(const std::string& name) const = 0;
  // Empty when the object has no such sequence.
  virtual std::unique_ptr<IteratorBase> statistics_iterator(const std::string& name) const = 0;
};

namespace Html {

// Expands `tmpl` against `root` into `out`; returns 1.
int generateV1(Object& root, std::ostream& out, std::istream& tmpl);

class GeneratorV1 {
public:
  enum MarkerKind { kSection = 0, kValue = 1, kEnd = 2 };

  GeneratorV1(Object& root, std::ostream& out, std::istream& tmpl);
  GeneratorV1(const GeneratorV1&) = delete;
  GeneratorV1& operator=(const GeneratorV1&) = delete;

  int generate();

private:
  using InputState = void (GeneratorV1::*)(char);
  using OutputState = void (GeneratorV1::*)(char);

  int generate_body();
  void generate_sequence(IteratorBase& it);
  void write_value(const std::string& name);
  // Reads until one marker is complete or the template ends.
  std::pair<int, std::string> parse();
  void sub_object(Object& obj);
  void sub_object(const std::string& name);
  void ignore_object();
  void put(char c);
  void put(const std::string& text);

  void next_input(InputState state) { input_ = state; }
  void next_output(OutputState state);
  void next_state(InputState input, OutputState output) {
    next_input(input);
    next_output(output);
  }
  // Writes the partly read marker and copies the rest of the tag.
  void flush();

  void pinput_initial(char c);
  void pinput_section_open(char c);
  void pinput_section_body(char c);
  void pinput_section_comment1(char c);
  void pinput_section_comment2(char c);
  void pinput_section_obj_begin1(char c);
  void pinput_section_obj_begin2(char c);
  void pinput_section_obj_begin3(char c);
  void pinput_section_obj_begin4(char c);
  void pinput_section_obj_name(char c);
  void pinput_section_obj_name_end1(char c);
  void pinput_section_obj_name_end2(char c);
  void pinput_value_open(char c);
  void pinput_value_body(char c);
  void poutput_pass(char c);
  void poutput_capture(char c);

  [[maybe_unused]] Object& root_;
  std::ostream& out_;
  std::istream& tmpl_;
  std::list<Object*> stack_;  // root at the front, innermost at the back
  Object* current_;
  int skip_;  // above 0 inside a skipped section: nothing is written
  InputState input_;
  OutputState output_;
  int kind_;
  std::string name_;
  bool complete_;
  std::string capture_;
};

}  // namespace Html
}  // namespace Stat
