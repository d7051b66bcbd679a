// Where the app's TLS certificate and key live: in its own state folder (STATE/ssl/HOST.crt and
// HOST.key, 0600), made self-signed before the app serves (the key never readable by others)
// unless the administrator put their own there. PAPPL 1.3.1 would use the system's CUPS folder, which needs
// not exist and is shared with every other program.
#pragma once

#include <pappl/pappl.h>

#include <string>

namespace qxapp {

// From now on, for the system's host name (and any it takes later); the folder is made (0700)
// when missing. False when it cannot be.
bool KeepTlsCredentialsIn(pappl_system_t* system, const std::string& folder);

// Makes every private key (*.key) of the folder readable by the app's own user alone: CUPS
// writes the key it makes on a connection's first TLS handshake readable by all (only the
// folder's 0700 keeps others out). KeepNewKeysPrivate does it for the folder given above, after
// each connection (client_connections.cpp).
void KeepKeysPrivate(const std::string& folder);
void KeepNewKeysPrivate();

// CUPS's choice of server credentials (`cupsSet`, as cupsSetServerCredentials takes them): where
// no folder is named (PAPPL names none), the folder given above, the pair made there privately
// first when it is to be made.
int SetServerCredentials(const char* path, const char* commonName, int autoCreate,
                         int (*cupsSet)(const char*, const char*, int));

}  // namespace qxapp
