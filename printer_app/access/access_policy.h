// Who may do what (PAPPL 1.3.1 alone lets anyone on this machine administer, and anyone at all
// once it listens on the network without a password):
// - administration (printer settings, adding, changing and deleting printers and devices,
//   pausing, other users' jobs, the web interface's forms) is for root, the app's own user
//   and members of the admin group, recognised from their local connection (peer credentials
//   of a local socket, or the owner of a loopback TCP connection); anyone else only after
//   signing in, and only over TLS: through the PAM service (IPP and web), or with the password
//   set on the web interface's Security page (web only);
// - printing is open to whoever reaches the printer, unless a print group is set: then its
//   local members and administrators may print, others after signing in through the PAM
//   service over TLS;
// - a job is cancelled, held or released by its owner when recognised (a local account, or
//   one signed in), otherwise by an administrator.
// PAPPL's own authorisation checks are answered by the decisions below.
#pragma once

#include <pappl/pappl.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qxapp {

// Who may print (the members of `printGroup`, everyone when none) and administer (the members
// of `adminGroup`, when given, besides root and the app's own user), and whether others may
// sign in through the PAM service.
void SetAccessPolicy(pappl_system_t* system, const std::string& printGroup, const std::string& adminGroup,
                     bool authService);

// The group's id; none for an empty name, "none" or a group that does not exist.
std::optional<gid_t> GroupId(const std::string& name);

// Whether a local account administers: root, the app's own user, or a member of `adminGroup`.
bool IsAdministrator(uid_t uid, std::optional<gid_t> adminGroup);

// Whether the client is the job's owner (its recognised or signed-in account) or an
// administrator on this machine: who may see what the job prints. Others who may administer
// after signing in are asked to by papplClientHTMLAuthorize.
bool MaySeeJobContents(pappl_client_t* client, pappl_job_t* job);

// Whether the account is in the group (as its primary group or a supplementary one).
bool InGroup(uid_t uid, gid_t group);

// IPP administration (system operations, the printer's settings, pausing, holding all):
// HTTP_STATUS_CONTINUE when the client may, else the status to answer.
http_status_t AdministrationStatus(pappl_client_t* client);

// A printer or job operation: printing, and what changes what others print (disabling,
// cancelling the current job, another's job). False, with the refusal answered, when refused.
bool AuthorizePrinterRequest(pappl_client_t* client);

// A web form or page that changes anything. `papplSignIn` is PAPPL's own web sign-in (the
// password's cookie, or its form); a failed password sign-in is slowed down like any other.
// False, answered, when refused.
bool AuthorizeWebChange(pappl_client_t* client, bool (*papplSignIn)(pappl_client_t*));

// The printer's web page: its buttons (a POST) are administration; false, answered, when
// refused.
bool AuthorizePrinterPage(pappl_client_t* client);

// Completes a Get-Printer-Attributes answer: the secure URI paired with its security and
// authentication entries, and what the printer offers.
void CompletePrinterAttributes(pappl_client_t* client);

// The web password's hash of `password`, "NONCE~HASH", with the nonce of the stored hash `salt`
// (a fresh one when null); an empty text for missing arguments.
char* HashWebPassword(pappl_system_t* system, const char* salt, const char* password, char* buffer,
                      size_t bufsize);

}  // namespace qxapp
