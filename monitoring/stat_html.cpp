#include "monitoring/stat_html.h"

namespace Stat {
namespace Html {

namespace {

// Stands for the object of a skipped section: knows nothing, so everything
// nested in it is skipped too.
class SkipObject : public Object {
public:
  Value statistics_value(const std::string&) const override { return Value(); }
  Object* statistics_object(const std::string&) const override { return nullptr; }
  std::unique_ptr<IteratorBase> statistics_iterator(const std::string&) const override { return nullptr; }
};

const char kEndSection[] = "end";

}  // namespace

int generateV1(Object& root, std::ostream& out, std::istream& tmpl) { return GeneratorV1(root, out, tmpl).generate(); }

GeneratorV1::GeneratorV1(Object& root, std::ostream& out, std::istream& tmpl)
    : root_(root), out_(out), tmpl_(tmpl), stack_{&root}, current_(&root), skip_(0),
      input_(&GeneratorV1::pinput_initial), output_(&GeneratorV1::poutput_pass), kind_(kEnd), complete_(false) {}

int GeneratorV1::generate() {
  skip_ = 0;
  return generate_body();
}

int GeneratorV1::generate_body() {
  for (;;) {
    std::pair<int, std::string> marker = parse();
    if (marker.first == kEnd)
      return 1;
    if (marker.first == kValue) {
      write_value(marker.second);
      continue;
    }
    if (marker.second == kEndSection)
      return 1;
    std::unique_ptr<IteratorBase> it = current_->statistics_iterator(marker.second);
    if (!it)
      sub_object(marker.second);
    else if (!it->is_valid())
      ignore_object();
    else
      generate_sequence(*it);
  }
}

void GeneratorV1::generate_sequence(IteratorBase& it) {
  const std::istream::pos_type start = tmpl_.tellg();
  sub_object(it.current());
  if (!it.next())
    return;
  while (it.is_valid()) {
    // A pass that ran into the end of the template left the stream failed.
    tmpl_.clear();
    tmpl_.seekg(start);
    sub_object(it.current());
    it.next();
  }
}

void GeneratorV1::write_value(const std::string& name) {
  for (auto obj = stack_.rbegin(); obj != stack_.rend(); ++obj) {
    Value value = (*obj)->statistics_value(name);
    if (value) {
      put(value.text);
      return;
    }
  }
  put(capture_);
}

std::pair<int, std::string> GeneratorV1::parse() {
  next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
  capture_.clear();
  complete_ = false;
  for (int c = tmpl_.get(); c != std::istream::traits_type::eof(); c = tmpl_.get()) {
    const char ch = static_cast<char>(c);
    (this->*input_)(ch);
    (this->*output_)(ch);
    if (complete_)
      return {kind_, name_};
  }
  return {kEnd, std::string()};
}

void GeneratorV1::sub_object(Object& obj) {
  stack_.push_back(&obj);
  current_ = &obj;
  generate_body();
  stack_.pop_back();
  current_ = stack_.back();
}

void GeneratorV1::sub_object(const std::string& name) {
  if (Object* obj = current_->statistics_object(name))
    sub_object(*obj);
  else
    ignore_object();
}

void GeneratorV1::ignore_object() {
  SkipObject skip;
  ++skip_;
  sub_object(skip);
  --skip_;
}

void GeneratorV1::put(char c) {
  if (skip_ == 0)
    out_.put(c);
}

void GeneratorV1::put(const std::string& text) {
  if (skip_ == 0)
    out_ << text;
}

void GeneratorV1::next_output(OutputState state) {
  if (state == &GeneratorV1::poutput_capture)
    capture_.clear();
  output_ = state;
}

void GeneratorV1::flush() {
  put(capture_);
  next_state(&GeneratorV1::pinput_section_body, &GeneratorV1::poutput_pass);
}

void GeneratorV1::pinput_initial(char c) {
  if (c == '<')
    next_state(&GeneratorV1::pinput_section_open, &GeneratorV1::poutput_capture);
  else if (c == '%')
    next_state(&GeneratorV1::pinput_value_open, &GeneratorV1::poutput_capture);
}

void GeneratorV1::pinput_section_open(char c) {
  if (c == '!')
    next_input(&GeneratorV1::pinput_section_comment1);
  else
    flush();
}

void GeneratorV1::pinput_section_body(char c) {
  if (c == '>')
    next_input(&GeneratorV1::pinput_initial);
}

void GeneratorV1::pinput_section_comment1(char c) {
  if (c == '-')
    next_input(&GeneratorV1::pinput_section_comment2);
  else
    flush();
}

void GeneratorV1::pinput_section_comment2(char c) {
  if (c != '-') {
    flush();
    return;
  }
  name_.clear();
  kind_ = kSection;
  next_input(&GeneratorV1::pinput_section_obj_begin1);
}

void GeneratorV1::pinput_section_obj_begin1(char c) {
  c == 'G' ? next_input(&GeneratorV1::pinput_section_obj_begin2) : flush();
}

void GeneratorV1::pinput_section_obj_begin2(char c) {
  c == 'E' ? next_input(&GeneratorV1::pinput_section_obj_begin3) : flush();
}

void GeneratorV1::pinput_section_obj_begin3(char c) {
  c == 'N' ? next_input(&GeneratorV1::pinput_section_obj_begin4) : flush();
}

void GeneratorV1::pinput_section_obj_begin4(char c) {
  c == '.' ? next_input(&GeneratorV1::pinput_section_obj_name) : flush();
}

void GeneratorV1::pinput_section_obj_name(char c) {
  if (c == '-')
    next_input(&GeneratorV1::pinput_section_obj_name_end1);
  else
    name_ += c;
}

void GeneratorV1::pinput_section_obj_name_end1(char c) {
  if (c == '-') {
    next_input(&GeneratorV1::pinput_section_obj_name_end2);
    return;
  }
  name_ += '-';
  name_ += c;
  next_input(&GeneratorV1::pinput_section_obj_name);
}

void GeneratorV1::pinput_section_obj_name_end2(char c) {
  if (c == '>')
    complete_ = true;  // anything between "--" and '>' is dropped
}

void GeneratorV1::pinput_value_open(char c) {
  if (c == '%') {
    put('%');  // "%%": the second '%' is written by poutput_pass
    next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
    return;
  }
  name_.assign(1, c);
  kind_ = kValue;
  next_input(&GeneratorV1::pinput_value_body);
}

void GeneratorV1::pinput_value_body(char c) {
  if (c == '%')
    complete_ = true;
  else
    name_ += c;
}

void GeneratorV1::poutput_pass(char c) { put(c); }

void GeneratorV1::poutput_capture(char c) { capture_ += c; }

}  // namespace Html
}  // namespace Stat
