// What the velluma subcommands share as hosts of the component: where the module is, loading it
// once, and the exit codes.
#pragma once

#include <string>

#include "velluma/velluma.h"

namespace vhost {

constexpr int kExitOk = 0;
constexpr int kExitSomeFailed = 1;
constexpr int kExitBadArguments = 2;

// Path of the component module: VELLUMA_MODULE, else ../lib/libvelluma.so next to the program.
std::string ModulePath();

// The module loaded with dlopen (once per process), or null with a message in error.
void* LoadModule(std::string& error);

// An export of the loaded module, or null.
void* ModuleExport(const char* name);

}  // namespace vhost

// The subcommands (argv[1] is the subcommand's name).
int RunRegisterCommand(int argc, char** argv);
int RunIssueCommand(int argc, char** argv);
