// The control socket PAPPL's main loop listens on and its sub-commands connect to
// (replaced_functions.def says why).
#include <cups/cups.h>
#include <pappl/pappl.h>

#include "printer_app/cli/control_socket.h"

extern "C" {

__attribute__((visibility("default"))) char* _papplMainloopGetServerPath(const char* base_name, uid_t uid,
                                                                         char* buffer, size_t bufsize) {
  return qxapp::ServerSocketPath(base_name, uid, buffer, bufsize);
}

__attribute__((visibility("default"))) http_t* _papplMainloopConnect(const char* base_name, bool) {
  return qxapp::ConnectToUsedSocket(base_name);
}

}  // extern "C"
