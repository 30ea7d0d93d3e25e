#pragma once
// Helpers for tests that hand bytes to independent tools (text2pcap and
// tshark, snmptrapd) or read what a program left in files: program lookup,
// command output, text2pcap input, a file's text and a scratch directory.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ftw.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>

namespace testing_support {

// True when the shell finds `program`.
inline bool have_program(const std::string& program) {
  return system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// What the shell command writes on its standard output.
inline std::string command_output(const std::string& command) {
  std::string out;
  if (FILE* f = popen(command.c_str(), "r")) {
    char buf[512];
    while (fgets(buf, sizeof buf, f))
      out += buf;
    pclose(f);
  }
  return out;
}

// `bytes` as text2pcap input, cut into packets of `packet_size` bytes.
inline std::string text2pcap_input(const std::string& bytes, size_t packet_size) {
  std::string text;
  char hex[24];
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % packet_size % 16 == 0) {
      snprintf(hex, sizeof hex, "\n%06zx", i % packet_size);
      text += hex;
    }
    snprintf(hex, sizeof hex, " %02x", static_cast<unsigned char>(bytes[i]));
    text += hex;
  }
  return text + "\n";
}

// The whole text of a file (empty when it cannot be read).
inline std::string readFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A directory under /tmp, removed with everything in it afterwards.
class ScratchDir {
public:
  explicit ScratchDir(const std::string& tag) {
    std::string pattern = "/tmp/nodal-" + tag + "-XXXXXX";
    if (!mkdtemp(&pattern[0]))
      throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScratchDir() {
    nftw(path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
         FTW_DEPTH | FTW_PHYS);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }

private:
  std::string path_;
};

}  // namespace testing_support
