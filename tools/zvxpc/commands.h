// SPDX-License-Identifier: MIT
// Subcommands of the `zvxpc` command-line client. Each Run function takes
// the arguments from its own name on (argv[0] is the subcommand's name, as
// getopt_long expects) and returns the process's exit code; each Print
// function writes the subcommand's help.
#pragma once

#include <cstdio>

namespace zvxpc {

/// Exit codes shared by the subcommands.
constexpr int kExitSuccess = 0;
constexpr int kExitWalkFailed = 1;      // walk: a result other than iRet=0
constexpr int kExitUnreadableFile = 1;  // profiles: not a readable profile list
constexpr int kExitFailure = 2;         // usage error, no service, no proper reply
constexpr int kExitRefused = 1;         // call: the reply is FALSE
constexpr int kExitNoWalk = 1;          // cancel: no walk of that list runs or waits
constexpr int kExitNotSaved = 3;        // walk: iRet=0, but the profile list could not be saved

/// `zvxpc profiles [--json] FILE`: prints the profile lists of FILE.
int RunProfiles(int argc, char** argv);
void PrintProfilesHelp(std::FILE* out);

/// `zvxpc call [--socket PATH] OPERATION [TEXT | -]` or `zvxpc call --list`.
int RunCall(int argc, char** argv);
void PrintCallHelp(std::FILE* out);

/// `zvxpc walk [--socket PATH] --user U --model M [--] ARG...`: one walk.
int RunWalk(int argc, char** argv);
void PrintWalkHelp(std::FILE* out);

/// `zvxpc status [--socket PATH]`: the service's status fields.
int RunStatus(int argc, char** argv);
void PrintStatusHelp(std::FILE* out);

/// `zvxpc watch [--user U --model M | --path FILE] [--count N]`.
int RunWatch(int argc, char** argv);
void PrintWatchHelp(std::FILE* out);

/// `zvxpc cancel --user U --model M`: cancels the walks of that list.
int RunCancel(int argc, char** argv);
void PrintCancelHelp(std::FILE* out);

}  // namespace zvxpc
