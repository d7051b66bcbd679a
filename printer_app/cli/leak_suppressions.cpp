// What LeakSanitizer is not to report in sanitizer builds: memory PAPPL 1.3.1 and CUPS keep until
// the process ends. PAPPL's main loop never frees the options it parsed, its client sub-commands
// leave their connection to the server open, and deleting a system leaves its footer and its
// listeners' address lists. (Without a sanitizer nothing calls this.)
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
  return "leak:cupsAddOption\n"
         "leak:papplSystemSetFooterHTML\n"
         "leak:httpAddrGetList\n"
         "leak:libcups.so\n";
}

// The sub-commands' output stays the user's: no list of the suppressions used.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_options() {
  return "print_suppressions=0";
}
