// The address of a printer found by DNS-SD, asked of the Avahi daemon each time: a printer that
// comes back on another address after a restart is found there.
#pragma once

#include <chrono>
#include <string>

namespace qxapp {

// Resolves a dnssd:// device URI's service ("Label\032Printer._pdl-datastream._tcp.local", its
// name escaped as DNS-SD escapes it) to a numeric address and port within `timeout`; false
// with the reason.
bool ResolveDnssdService(const std::string& fullName, std::chrono::milliseconds timeout, std::string* host,
                         int* port, std::string* why);

}  // namespace qxapp
