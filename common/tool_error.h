// A failure that ends a command: one line for the user and the exit status it maps to.
#pragma once

#include <stdexcept>
#include <string>

namespace qxvn {

class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Wrong command line: reported with a pointer to --help and exit status 2.
class UsageError : public ToolError {
 public:
  using ToolError::ToolError;
};

}  // namespace qxvn
