#include "platform/console.h"
#include "shell/channels.h"
#include "shell/run_command_line.h"

int main(int argc, char** argv) {
  segsniff::platform::open_closed_standard_streams();
  segsniff::configure_console();
  int status = segsniff::run_command_line(argc, argv);
  segsniff::flush_output();
  return status;
}
