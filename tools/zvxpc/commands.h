// Subcommands of the `zvxpc` command-line client. Each takes the arguments
// after its own name and returns the process's exit code.
#pragma once

namespace zvxpc {

/// `zvxpc profiles [--json] FILE`: prints the profile lists of FILE.
int RunProfiles(int argc, char** argv);

/// `zvxpc call [--socket PATH] OPERATION [TEXT | -]`: sends one request.
int RunCall(int argc, char** argv);

/// `zvxpc walk [--socket PATH] --user U --model M [--] ARG...`: one walk.
int RunWalk(int argc, char** argv);

}  // namespace zvxpc
