// The local sockets the sub-commands reach a server through. Each instance has one, named after
// its state folder (the default state folder's is `NAME.sock`, another's `NAME@FOLDER-HASH.sock`):
// root's in /run, where only root may create files; a user's in $XDG_RUNTIME_DIR when that is
// the user's own private folder, else in a folder of the temporary directory made for the user
// alone (0700) and checked to be so. A client only talks to a server run by itself, root or
// the package's service account, as the socket's peer credentials tell.
#pragma once

#include <cups/http.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qxapp {

// The folder `uid`'s sockets are in ("/run" for root); empty, with the reason in `problem`,
// when it cannot be had safely (owned by another account, open to others, not a folder).
// `create` makes the private folder when it is missing.
std::string SocketFolder(uid_t uid, bool create, std::string* problem);

// The private folder of the temporary directory for `uid`'s sockets (where XDG_RUNTIME_DIR is
// not the user's own).
std::string PrivateTempFolder(uid_t uid);

// The folders a sub-command looks for servers in, the user's own first, then root's (/run);
// only those that are the user's alone.
std::vector<std::string> ClientSocketFolders();

// The socket's file name of the instance whose state folder is `stateDir`.
std::string SocketName(const std::string& baseName, const std::string& stateDir,
                       const std::string& defaultStateDir);

// Makes `path` the server's control socket: nothing else answers there (a socket left by a
// server that died is removed) and a socket can be made there. Empty when it can, else why not.
std::string ClaimSocket(const std::string& path);

// Whether a server run by `uid` may be sent the user's requests: the user's own, root's, or the
// package's service account's.
bool IsTrustedServer(uid_t uid);

// Why the server at the other end of the connected local socket `fd` (at `path`) is not one to
// send anything to; empty when it is one.
std::string UntrustedPeer(const std::string& path, int fd);

// Connects to `path`; -1 when nothing answers there. When the server is not trusted, -1 with
// the reason in `problem`.
int ConnectToServer(const std::string& path, std::string* problem);

// The control socket PAPPL's main loop listens on (the server) or connects to (a sub-command).
void UseSocket(const std::string& path);
std::string UsedSocket();

// Where the main loop listens and its sub-commands connect: the socket chosen before the loop
// runs, else `baseName`'s in `uid`'s folder; in `buffer` (empty when there is none).
char* ServerSocketPath(const char* baseName, uid_t uid, char* buffer, size_t bufsize);

// A sub-command's connection to its server: only to the chosen socket, only to a server the user
// trusts (checked before anything is sent), and never a server started in the background. Null,
// with the reason on standard error, when there is none.
http_t* ConnectToUsedSocket(const char* baseName);

}  // namespace qxapp
