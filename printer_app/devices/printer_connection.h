// One TCP connection to a network (AppSocket) printer, carrying one job. Plain POSIX, no PAPPL.
// A job is delivered only once the printer has taken every byte: after the last one the
// connection is shut down for writing and the printer must close its end in turn. A reset, an
// early close or a printer that takes nothing for the stall time is a failed delivery.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qxapp {

class PrinterConnection {
 public:
  PrinterConnection() = default;
  ~PrinterConnection() { Close(); }
  PrinterConnection(const PrinterConnection&) = delete;
  PrinterConnection& operator=(const PrinterConnection&) = delete;

  // Connects to the first address of `host` that answers within `timeout` in all; false with
  // the reason ("Connection refused").
  bool Connect(const std::string& host, int port, std::chrono::milliseconds timeout, std::string* why);
  bool IsOpen() const { return m_fd >= 0; }

  // Sends every byte. False when the printer resets or closes the connection, or takes no byte
  // for `stall`. What the printer sends back meanwhile is read and dropped.
  bool Send(const uint8_t* data, size_t size, std::chrono::milliseconds stall, std::string* why);

  // The end of the job: shuts the connection down for writing and waits until the printer has
  // acknowledged every byte and closed its end. A printer that has acknowledged every byte but
  // keeps the connection open for `stall` more counts as delivered (`*lingered` is set): it
  // has every byte, and sending the job again would print it twice. Closes the connection.
  bool Finish(std::chrono::milliseconds stall, std::string* why, bool* lingered);

  // Drops the connection at once, resetting it (a job given up or cancelled).
  void Close();

 private:
  // Reads and drops what the printer sent. False when it closed or reset the connection.
  bool DrainBackChannel(std::string* why, bool* closed);
  // Bytes sent but not yet acknowledged by the printer.
  size_t Unacknowledged() const;

  int m_fd = -1;
};

}  // namespace qxapp
