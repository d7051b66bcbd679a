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
// The app provides PAPPL's authorisation entry points in the library's place (its own calls
// reach them) and decides there.
#pragma once

#include <pappl/pappl.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qxapp {

struct AppOptions;

// Takes the policy from the options (their groups exist: ParseAppOptions checks) and the
// allowed folders of file:// devices.
void ApplyAccessPolicy(pappl_system_t* system, const AppOptions& options);

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

}  // namespace qxapp
