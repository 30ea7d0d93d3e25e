#include "foundation/console.h"

#include <ctime>
#include <iostream>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace Console {

void SwitchToBinaryMode() {
  termios attributes;
  if (tcgetattr(STDIN_FILENO, &attributes) < 0) {
    std::cerr << "can't obtain terminal attributes" << std::endl;
    return;
  }
  attributes.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ECHOPRT | ECHOCTL);
  if (tcsetattr(STDIN_FILENO, TCSADRAIN, &attributes) < 0)
    std::cerr << "can't set terminal attributes" << std::endl;
}

void SwitchToNonBlockMode() {
  int on = 1;
  if (ioctl(STDIN_FILENO, FIONBIO, &on) < 0)
    std::cerr << "can't switch terminal to blocked mode" << std::endl;
}

}  // namespace Console

std::ostream& timestamp(std::ostream& out) {
  time_t now = time(nullptr);
  if (now == static_cast<time_t>(-1))
    return out;
  tm local;
  if (!localtime_r(&now, &local))
    return out;
  char text[32];
  if (strftime(text, sizeof text, "%d/%m %H:%M:%S", &local) > 0)
    out << text;
  return out;
}
