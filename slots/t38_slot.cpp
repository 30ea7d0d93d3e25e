#include "slots/t38_slot.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/wait.h>

#include "foundation/ext.h"
#include "foundation/paths.h"
#include "hardware/mcc_ctl.h"
#include "slots/child_program.h"
#include "messages/TERM/TERM.h"

namespace {

// The text as one word for the shell.
std::string ShellWord(const std::string& text) {
  std::string word = "'";
  for (char c : text)
    word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

}  // namespace

T38SoftSlot::T38SoftSlot(int pid, int timeslot) : pid_(pid), timeslot_(timeslot) {
  wait_.Bind(this, &T38SoftSlot::OnT38Terminate);
  wait_.Attach(pid);
}

void T38SoftSlot::IAfterCreate() {
  OnChangeOutputStream(true);
  OnChangeInputStream(true);
}

bool T38SoftSlot::IBeforeDestroy() {
  // The watcher signals only a child it has not yet seen end, whose pid
  // cannot belong to another process.
  if (pid_ >= 1)
    wait_.Signal(SIGTERM);
  return true;
}

void T38SoftSlot::OnT38Terminate(int status) {
  if (WIFSIGNALED(status))
    std::clog << ext::header(this) << "t38 daemon terminated by signal=" << WTERMSIG(status) << std::endl;
  else if (WIFEXITED(status))
    std::clog << ext::header(this) << "t38 daemon terminated with code=" << WEXITSTATUS(status) << std::endl;
  pid_ = -1;
  OnAbort(status);
}

T38SoftFactory& T38SoftFactory::instance() {
  static T38SoftFactory factory;
  return factory;
}

Slot* T38SoftFactory::INewSlot(LGCP::CreateParams const& params) {
  if (!params.is_t38soft())
    return nullptr;
  const LGCP::T38Soft& p = params.get_t38soft();
  Fd channel = MccCtl::Open(O_RDWR | O_CLOEXEC);
  if (!channel) {
    std::cerr << ext::header(this) << "T38SoftFactory::INewSlot - FAIL to open </dev/mcc/ctl> [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  MccCtl::Allocation allocation{MccCtl::Transparent, static_cast<uint32_t>(p.get_rx_packet_size().getValue()),
                                static_cast<uint32_t>(p.get_rx_threshold().getValue()),
                                static_cast<uint32_t>(p.get_tx_threshold().getValue())};
  if (!MccCtl::Allocate(channel, allocation)) {
    std::cerr << ext::header(this) << "T38SoftFactory::INewSlot - FAIL to ioctl MCC_ALLOCATE [" << errno << "]"
              << std::endl;
    return nullptr;
  }
  int timeslot = MccCtl::Timeslot(channel);
  if (timeslot < 0) {
    std::cerr << ext::header(this) << "T38SoftFactory::INewSlot - FAIL to ioctl MCC_TIMESLOT [" << errno << "]"
              << std::endl;
    return nullptr;
  }

  ChildProgram t38;
  t38.path = Paths::resolve(Paths::kT38Program);
  t38.args = {"--child", "--remote",
              std::string(p.get_dhost().get_iaddr()) + "/" + std::to_string(p.get_dhost().get_port().getValue()) +
                  "/" + std::to_string(p.get_shost().get_port().getValue())};
  for (const ASN1::IA5String& arg : p.get_args()) {
    if (t38.args.size() >= MaxArgs - 2)  // the path and the end mark take two
      break;
    t38.args.push_back(arg);
  }
  std::clog << ext::header(this) << "args for run t38 daemon:" << std::endl;
  std::clog << ext::header(this) << "arg[0]=" << t38.path << std::endl;
  for (size_t i = 0; i < t38.args.size(); ++i)
    std::clog << ext::header(this) << "arg[" << i + 1 << "]=" << t38.args[i] << std::endl;
  t38.input = channel.get();
  t38.failure = nullptr;
  t38.failureCode = ExecFailed;
  pid_t pid = StartChild(t38);
  if (pid < 0)
    return nullptr;
  std::clog << ext::header(this) << "t38 daemon[" << pid << "] successfully started" << std::endl;
  // The channel stays open in the child only.
  return new T38SoftSlot(pid, timeslot);
}

void T38SoftFactory::Query(LGCP::Resources& resources) { resources.set_t38_instances(QueryNumOfInstances()); }

int T38SoftFactory::QueryNumOfInstances() {
  std::string command = ShellWord(Paths::resolve(Paths::kT38Program)) + " --num-of-instances";
  FILE* answer = ::popen(command.c_str(), "r");
  if (!answer) {
    std::clog << "t38 daemon not found!" << std::endl;
    return 0;
  }
  char line[32];
  if (!std::fgets(line, sizeof line, answer)) {
    ::pclose(answer);
    std::clog << "t38: can't detect T38 resources" << std::endl;
    return 0;
  }
  ::pclose(answer);
  return std::atoi(line);
}
