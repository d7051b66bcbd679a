#include "printer_app/access/access_policy.h"

#include <grp.h>
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "printer_app/access/peer_identity.h"
#include "printer_app/access/sign_in_backoff.h"
#include "printer_app/options/job_offers.h"

// PAPPL's check of a signed-in client (HTTP Basic through the PAM service) against a group.
extern "C" http_status_t _papplClientIsAuthorizedForGroup(pappl_client_t* client, bool allow_remote,
                                                          const char* group, gid_t groupid);

namespace qxapp {
namespace {

struct Policy {
  std::optional<gid_t> printGroup;
  std::string printGroupName;
  bool authService = false;
};

Policy g_policy;

// The admin group as the system has it now (the option, or what was saved or set on the web
// interface's Security page).
std::optional<gid_t> AdminGroup(pappl_client_t* client) {
  char name[256] = "";
  papplSystemGetAdminGroup(papplClientGetSystem(client), name, sizeof name);
  return GroupId(name);
}

std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  passwd entry{}, *found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return "";
  return found->pw_name;
}

// The local account at the other end, made the client's user name (the owner of the jobs it
// creates); nothing when it is not known.
std::optional<uid_t> Recognise(pappl_client_t* client) {
  std::optional<uid_t> uid = PeerUid(client);
  if (uid) {
    const std::string name = UserName(*uid);
    if (!name.empty()) papplClientSetUsername(client, name.c_str());
  }
  return uid;
}

// A sign-in attempt checked by `check` (true when it succeeds), slowed down after failures
// from the client's address or for the user, and logged when it fails.
template <typename Check>
bool AttemptSignIn(pappl_client_t* client, const std::string& user, Check check) {
  const std::string address = PeerAddress(client);
  const SignInBackoff::Verdict verdict = SignIns().Begin(address, user, SignInBackoff::Clock::now());
  if (verdict.refused) {
    papplLogClient(client, PAPPL_LOGLEVEL_WARN,
                   "Sign-in as '%s' from %s refused unchecked: too many failed sign-ins are waiting.",
                   user.c_str(), address.c_str());
    return false;
  }
  if (verdict.wait > SignInBackoff::Clock::duration::zero()) std::this_thread::sleep_for(verdict.wait);
  if (check()) {
    SignIns().Succeeded(address, user);
    return true;
  }
  const SignInBackoff::Failure failure = SignIns().Failed(address, user, SignInBackoff::Clock::now());
  const auto next = std::chrono::duration_cast<std::chrono::milliseconds>(failure.nextWait).count();
  papplLogClient(client, PAPPL_LOGLEVEL_WARN,
                 "Sign-in as '%s' from %s failed (%d in a row); the next attempt waits %lld.%03lld s.",
                 user.c_str(), address.c_str(), failure.count, static_cast<long long>(next / 1000),
                 static_cast<long long>(next % 1000));
  return false;
}

// The user name of HTTP Basic credentials; empty when there are none.
std::string BasicUser(pappl_client_t* client) {
  const char* field = httpGetField(papplClientGetHTTP(client), HTTP_FIELD_AUTHORIZATION);
  if (!field || strncasecmp(field, "Basic ", 6) != 0) return "";
  char decoded[512];
  int size = sizeof decoded - 1;
  if (!httpDecode64_2(decoded, &size, field + 6)) return "";
  decoded[std::clamp(size, 0, static_cast<int>(sizeof decoded) - 1)] = '\0';
  const char* colon = std::strchr(decoded, ':');
  return colon ? std::string(decoded, static_cast<size_t>(colon - decoded)) : std::string(decoded);
}

// Signing in: through the PAM service only, and only over TLS.
http_status_t SignIn(pappl_client_t* client, const char* group, std::optional<gid_t> gid) {
  if (!g_policy.authService || IsLocalSocket(client)) return HTTP_STATUS_FORBIDDEN;
  if (!papplClientIsEncrypted(client)) return HTTP_STATUS_UPGRADE_REQUIRED;
  const gid_t groupId = gid.value_or(static_cast<gid_t>(-1));
  const std::string user = BasicUser(client);
  if (user.empty()) return _papplClientIsAuthorizedForGroup(client, true, group, groupId);  // asks for them
  http_status_t status = HTTP_STATUS_FORBIDDEN;
  AttemptSignIn(client, user, [&] {
    status = _papplClientIsAuthorizedForGroup(client, true, group, groupId);
    return status == HTTP_STATUS_CONTINUE;
  });
  return status;
}

// Whether the client brings the cookie of a web sign-in with the password (as PAPPL makes it).
bool HasWebSignIn(pappl_client_t* client) {
  pappl_system_t* system = papplClientGetSystem(client);
  char cookie[65], key[65], password[100];
  if (!papplClientGetCookie(client, "auth", cookie, sizeof cookie)) return false;
  papplSystemGetSessionKey(system, key, sizeof key);
  papplSystemGetPassword(system, password, sizeof password);
  const std::string text = std::string(key) + ":" + password;
  unsigned char hash[32];
  char hex[65];
  cupsHashData("sha2-256", text.data(), text.size(), hash, sizeof hash);
  cupsHashString(hash, sizeof hash, hex, sizeof hex);
  return std::strcmp(cookie, hex) == 0;
}

http_status_t AdminStatus(pappl_client_t* client) {
  const std::optional<gid_t> adminGroup = AdminGroup(client);
  if (std::optional<uid_t> uid = Recognise(client); uid && IsAdministrator(*uid, adminGroup))
    return HTTP_STATUS_CONTINUE;
  char group[256] = "";
  papplSystemGetAdminGroup(papplClientGetSystem(client), group, sizeof group);
  return SignIn(client, adminGroup ? group : nullptr, adminGroup);
}

http_status_t PrintStatus(pappl_client_t* client) {
  std::optional<uid_t> uid = Recognise(client);
  if (!g_policy.printGroup) return HTTP_STATUS_CONTINUE;
  if (uid && (InGroup(*uid, *g_policy.printGroup) || IsAdministrator(*uid, AdminGroup(client))))
    return HTTP_STATUS_CONTINUE;
  return SignIn(client, g_policy.printGroupName.c_str(), g_policy.printGroup);
}

// Printer operations PAPPL leaves to anyone who may print that change what others print.
bool IsPrinterAdministration(ipp_op_t op) {
  return op == IPP_OP_CANCEL_CURRENT_JOB || op == IPP_OP_DISABLE_PRINTER || op == IPP_OP_ENABLE_PRINTER;
}

// Operations on one job that only its owner or an administrator may do.
bool IsJobControl(ipp_op_t op) {
  return op == IPP_OP_CANCEL_JOB || op == IPP_OP_HOLD_JOB || op == IPP_OP_RELEASE_JOB ||
         op == IPP_OP_SEND_DOCUMENT || op == IPP_OP_CLOSE_JOB;
}

// Whether the client owns the job: its recognised or signed-in user name is the job's owner.
// Adding documents to a job still being created also goes by the name the request gives, as
// every client that creates a job this way sends it.
bool OwnsJob(pappl_client_t* client, pappl_job_t* job, ipp_op_t op) {
  const char* owner = papplJobGetUsername(job);
  if (!owner) return false;
  if (const char* user = papplClientGetUsername(client); user && std::strcmp(user, owner) == 0) return true;
  if ((op == IPP_OP_SEND_DOCUMENT || op == IPP_OP_CLOSE_JOB) && !papplClientGetUsername(client)) {
    ipp_attribute_t* name =
        ippFindAttribute(papplClientGetRequest(client), "requesting-user-name", IPP_TAG_NAME);
    const char* given = name ? ippGetString(name, 0, nullptr) : nullptr;
    return given && std::strcmp(given, owner) == 0;
  }
  return false;
}

// With TLS on, PAPPL 1.3.1 answers a client on this machine with only the ipp:// printer URI
// but both entries of uri-security-supported ("none", "tls") and one of
// uri-authentication-supported, so the three lists, which must pair up, do not. TLS works on
// every connection, so the answer gets the ipps:// URI and an authentication entry for it too.
void PairSecureUris(ipp_t* response, bool signIn) {
  ipp_attribute_t* uris = ippFindAttribute(response, "printer-uri-supported", IPP_TAG_URI);
  ipp_attribute_t* security = ippFindAttribute(response, "uri-security-supported", IPP_TAG_KEYWORD);
  ipp_attribute_t* authentication =
      ippFindAttribute(response, "uri-authentication-supported", IPP_TAG_KEYWORD);
  if (!uris || !security || ippGetCount(uris) != 1 || ippGetCount(security) != 2) return;
  std::string uri = ippGetString(uris, 0, nullptr);
  if (uri.compare(0, 6, "ipp://") != 0) return;
  uri.replace(0, 3, "ipps");
  ippSetString(response, &uris, 1, uri.c_str());
  if (authentication && ippGetCount(authentication) == 1)
    ippSetString(response, &authentication, 1, signIn ? "basic" : "none");
}

}  // namespace

bool InGroup(uid_t uid, gid_t gid) {
  std::vector<char> buffer(16384);
  passwd entry{}, *found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) return false;
  if (found->pw_gid == gid) return true;
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    if (getgrouplist(found->pw_name, found->pw_gid, groups.data(), &count) < 0) return false;
  }
  for (int i = 0; i < count; ++i)
    if (groups[static_cast<size_t>(i)] == gid) return true;
  return false;
}

bool IsAdministrator(uid_t uid, std::optional<gid_t> adminGroup) {
  return uid == 0 || uid == geteuid() || (adminGroup && InGroup(uid, *adminGroup));
}

std::optional<gid_t> GroupId(const std::string& name) {
  if (name.empty() || name == "none") return std::nullopt;
  std::vector<char> buffer(16384);
  group entry{}, *found = nullptr;
  if (getgrnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
    return std::nullopt;
  return found->gr_gid;
}

bool MaySeeJobContents(pappl_client_t* client, pappl_job_t* job) {
  if (std::optional<uid_t> uid = Recognise(client); uid && IsAdministrator(*uid, AdminGroup(client)))
    return true;
  const char* owner = papplJobGetUsername(job);
  const char* user = papplClientGetUsername(client);
  return owner && user && *user && std::strcmp(owner, user) == 0;
}

void SetAccessPolicy(pappl_system_t* system, const std::string& printGroup, const std::string& adminGroup,
                     bool authService) {
  g_policy.printGroup = GroupId(printGroup);
  g_policy.printGroupName = printGroup;
  g_policy.authService = authService;
  if (!adminGroup.empty()) papplSystemSetAdminGroup(system, adminGroup.c_str());
}

// IPP administration: system operations and the printer's settings, pausing, holding all.
http_status_t AdministrationStatus(pappl_client_t* client) {
  return client ? AdminStatus(client) : HTTP_STATUS_BAD_REQUEST;
}

// Every printer and job operation: printing, and what PAPPL leaves to anyone who may print.
bool AuthorizePrinterRequest(pappl_client_t* client) {
  const ipp_op_t op = papplClientGetOperation(client);
  http_status_t status = PrintStatus(client);
  if (status == HTTP_STATUS_CONTINUE && IsPrinterAdministration(op)) status = AdminStatus(client);
  pappl_job_t* job = papplClientGetJob(client);
  if (status == HTTP_STATUS_CONTINUE && job && IsJobControl(op) && !OwnsJob(client, job, op))
    status = AdminStatus(client);
  if (status == HTTP_STATUS_CONTINUE) return true;
  papplClientRespond(client, status, nullptr, nullptr, 0, 0);
  return false;
}

// The web interface's forms and pages that change anything.
bool AuthorizeWebChange(pappl_client_t* client, bool (*papplSignIn)(pappl_client_t*)) {
  if (!client) return false;
  if (std::optional<uid_t> uid = Recognise(client); uid && IsAdministrator(*uid, AdminGroup(client)))
    return true;
  char password[128] = "";
  papplSystemGetPassword(papplClientGetSystem(client), password, sizeof password);
  http_status_t status = HTTP_STATUS_CONTINUE;
  if (IsLocalSocket(client) || (!password[0] && !g_policy.authService))
    status = HTTP_STATUS_FORBIDDEN;
  else if (!papplClientIsEncrypted(client))
    status = HTTP_STATUS_UPGRADE_REQUIRED;  // a page is sent to its https:// address
  if (status != HTTP_STATUS_CONTINUE) {
    papplClientRespond(client, status, nullptr, nullptr, 0, 0);
    return false;
  }
  // A form posted without the cookie is PAPPL's sign-in with the password.
  if (g_policy.authService || papplClientGetMethod(client) != HTTP_STATE_POST || HasWebSignIn(client))
    return papplSignIn(client);
  bool checked = false;  // PAPPL answers a sign-in it checked and refused with its form
  const bool signedIn = AttemptSignIn(client, "web-admin", [&] {
    checked = true;
    return papplSignIn(client);
  });
  if (!signedIn && !checked) papplClientRespond(client, HTTP_STATUS_FORBIDDEN, nullptr, nullptr, 0, 0);
  return signedIn;
}

// The printer's web page: anyone may look at it, but its buttons (hold new jobs, release them,
// pause, resume, identify, print the test page, make it the default) are administration, as
// their IPP operations are.
bool AuthorizePrinterPage(pappl_client_t* client) {
  return !client || papplClientGetMethod(client) != HTTP_STATE_POST || papplClientHTMLAuthorize(client);
}

void CompletePrinterAttributes(pappl_client_t* client) {
  if (papplClientGetOperation(client) == IPP_OP_GET_PRINTER_ATTRIBUTES) {
    PairSecureUris(papplClientGetResponse(client),
                   papplSystemGetAuthService(papplClientGetSystem(client)) != nullptr);
    CompleteOffers(client);
  }
}

// The web password's hash, "NONCE~HASH". PAPPL 1.3.1 takes the nonce of a stored hash up to a
// ':' it never contains, so a login hashes with the whole stored text as its nonce, and the
// result starts with the stored text whatever the password: every password was accepted (and
// the Security page's old password never matched). Here the nonce ends at its '~'.
char* HashWebPassword(pappl_system_t* system, const char* salt, const char* password, char* buffer,
                      size_t bufsize) {
  if (!system || !password || !buffer || bufsize == 0) {
    if (buffer && bufsize > 0) *buffer = '\0';
    return buffer;
  }
  std::string nonce;
  if (salt && std::strchr(salt, '~')) {
    nonce.assign(salt, std::strchr(salt, '~'));
  } else {
    char fresh[32];
    std::snprintf(fresh, sizeof fresh, "%08x%08x", papplGetRand(), papplGetRand());
    nonce = fresh;
  }
  const std::string text = nonce + ":" + password;
  unsigned char hash[32];
  char hex[128];
  cupsHashData("sha2-256", text.data(), text.size(), hash, sizeof hash);
  cupsHashString(hash, sizeof hash, hex, sizeof hex);
  std::snprintf(buffer, bufsize, "%s~%s", nonce.c_str(), hex);
  return buffer;
}

}  // namespace qxapp
