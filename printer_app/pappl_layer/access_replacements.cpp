// Who may do what, and who a connection is from, where PAPPL and CUPS decide it themselves
// (replaced_functions.def says why for each).
#include <cups/cups.h>
#include <pappl/pappl.h>

#include "printer_app/access/access_policy.h"
#include "printer_app/access/peer_identity.h"
#include "printer_app/access/request_bounds.h"
#include "printer_app/access/tls_credentials.h"
#include "printer_app/pappl_layer/original_symbol.h"

extern "C" {

__attribute__((visibility("default"))) http_status_t papplClientIsAuthorized(pappl_client_t* client) {
  return qxapp::AdministrationStatus(client);
}

__attribute__((visibility("default"))) bool _papplPrinterIsAuthorized(pappl_client_t* client) {
  return qxapp::AuthorizePrinterRequest(client);
}

__attribute__((visibility("default"))) bool papplClientHTMLAuthorize(pappl_client_t* client) {
  using Fn = bool (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("papplClientHTMLAuthorize");
  return qxapp::AuthorizeWebChange(client, original);
}

__attribute__((visibility("default"))) void _papplPrinterWebHome(pappl_client_t* client,
                                                                 pappl_printer_t* printer) {
  using Fn = void (*)(pappl_client_t*, pappl_printer_t*);
  static const Fn original = qxapp::Original<Fn>("_papplPrinterWebHome");
  if (!qxapp::AuthorizePrinterPage(client)) return;
  original(client, printer);
}

__attribute__((visibility("default"))) char* papplSystemHashPassword(pappl_system_t* system, const char* salt,
                                                                     const char* password, char* buffer,
                                                                     size_t bufsize) {
  return qxapp::HashWebPassword(system, salt, password, buffer, bufsize);
}

__attribute__((visibility("default"))) pappl_client_t* _papplClientCreate(pappl_system_t* system, int sock) {
  using Fn = pappl_client_t* (*)(pappl_system_t*, int);
  static const Fn original = qxapp::Original<Fn>("_papplClientCreate");
  pappl_client_t* client = original(system, sock);
  if (client) qxapp::RememberPeer(client);
  return client;
}

__attribute__((visibility("default"))) void _papplClientDelete(pappl_client_t* client) {
  using Fn = void (*)(pappl_client_t*);
  static const Fn original = qxapp::Original<Fn>("_papplClientDelete");
  qxapp::StopServing(client);
  qxapp::ForgetPeer(client);
  original(client);
}

__attribute__((visibility("default"))) int cupsSetServerCredentials(const char* path, const char* common_name,
                                                                    int auto_create) {
  using Fn = int (*)(const char*, const char*, int);
  static const Fn original = qxapp::Original<Fn>("cupsSetServerCredentials");
  return qxapp::SetServerCredentials(path, common_name, auto_create, original);
}

}  // extern "C"
