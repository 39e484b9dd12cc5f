// SPDX-License-Identifier: MIT
#include "support/snmp_agents.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "support/other_user.h"
#include "support/temp_dir.h"

namespace zvtest {
namespace {

constexpr int kStartAttempts = 3;
constexpr int kStopPolls = 200;            // of 10 ms each
constexpr int kPortLineWaitMs = 20000;     // the responder prints its port at once

std::string MakePrivateDirectory(const std::string& tag) {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/zv" + tag + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return {};
  chmod(pattern.c_str(), 0777);  // reachable by an agent that drops to nobody
  return pattern;
}

void WriteText(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  close(fd);
}

// Quotes a value for an snmpd.conf line.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

struct ChildSetup {
  std::vector<std::string> argv;
  std::vector<std::string> environment;  // NAME=VALUE added to ours
  std::string output_path;               // stdout and stderr, when no pipe
  int stdout_pipe = -1;                  // write end for stdout, or -1
};

// Forks and execs; the child's stdin is /dev/null. Returns the pid or -1.
pid_t Spawn(const ChildSetup& setup) {
  std::vector<char*> args;
  for (const std::string& arg : setup.argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  for (const std::string& entry : setup.environment) putenv(const_cast<char*>(entry.c_str()));
  const int null_fd = open("/dev/null", O_RDWR);
  const int out_fd = setup.output_path.empty()
                         ? null_fd
                         : open(setup.output_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
  dup2(null_fd, STDIN_FILENO);
  dup2(setup.stdout_pipe >= 0 ? setup.stdout_pipe : out_fd, STDOUT_FILENO);
  dup2(out_fd, STDERR_FILENO);
  execvp(args[0], args.data());
  _exit(127);
}

bool StillRunning(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == 0;
}

int RunQuietly(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  const pid_t pid = Spawn({argv, environment, "", -1});
  if (pid < 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Reads the first line of `fd` within the wait bound; empty on failure.
std::string ReadFirstLine(int fd) {
  std::string line;
  char c = 0;
  while (true) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, kPortLineWaitMs) <= 0) return {};
    if (read(fd, &c, 1) != 1) return {};
    if (c == '\n') return line;
    line += c;
  }
}

std::string SnmpdConfig(int port, const std::string& community, const std::string& lines) {
  return "agentaddress udp:127.0.0.1:" + std::to_string(port) + "\n" + "rocommunity " + community +
         " 127.0.0.1\n" + "dontLogTCPWrappersConnects yes\n" + lines + "\n";
}

}  // namespace

std::string ProfileTableOid() {
  return "1.3.6.1.4.1." + std::to_string(kProfileEnterprise) + ".1.1.1.1.6.13.1.1";
}

std::string ProfileCellOid(int column, int row, int instance) {
  return ProfileTableOid() + "." + std::to_string(column) + "." + std::to_string(instance) + "." +
         std::to_string(row);
}

std::string ProfileTableOverrides(const std::vector<ProfileTableRow>& rows) {
  std::ostringstream out;
  for (const ProfileTableRow& r : rows) {
    out << "override ." << ProfileCellOid(1, r.row) << " integer " << r.index_on_device << "\n"
        << "override ." << ProfileCellOid(2, r.row) << " integer " << r.source_type << "\n"
        << "override ." << ProfileCellOid(3, r.row) << " octet_str " << Quoted(r.profile_name) << "\n"
        << "override ." << ProfileCellOid(4, r.row) << " octet_str " << Quoted(r.file_name) << "\n"
        << "override ." << ProfileCellOid(5, r.row) << " integer " << r.profile_class << "\n"
        << "override ." << ProfileCellOid(7, r.row) << " integer " << r.availability << "\n";
  }
  return out.str();
}

std::string ProfileTableSnmprec(const std::vector<ProfileTableRow>& rows) {
  std::ostringstream out;
  const int columns[] = {1, 2, 3, 4, 5, 7};
  for (int column : columns) {
    for (const ProfileTableRow& r : rows) {
      out << ProfileCellOid(column, r.row) << "|";
      switch (column) {
        case 1: out << "2|" << r.index_on_device; break;
        case 2: out << "2|" << r.source_type; break;
        case 3: out << "4|" << r.profile_name; break;
        case 4: out << "4|" << r.file_name; break;
        case 5: out << "2|" << r.profile_class; break;
        default: out << "2|" << r.availability; break;
      }
      out << "\n";
    }
  }
  return out.str();
}

std::string SnmpV3UserLines() {
  std::string lines = "engineID zvtest\n";
  const char* const users[][3] = {{"U", "SHA", "AES"}, {"M", "MD5", "DES"}, {"S", "SHA-512", "AES-256"}};
  for (const auto& user : users) {
    lines += std::string("createUser ") + user[0] + " " + user[1] + " " + Quoted(kSnmpV3AuthPassPhrase) + " " +
             user[2] + " " + Quoted(kSnmpV3PrivPassPhrase) + "\n" + "rouser " + user[0] + " priv\n";
  }
  return lines;
}

int FreeUdpPort() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool WaitUntilAnswering(int port, const std::string& community, int tries) {
  static TempDir client_config;  // an empty configuration: no MIBs, no defaults
  const std::vector<std::string> argv = {
      "snmpgetnext", "-v2c", "-c", community, "-r0", "-t1", "-On", "127.0.0.1:" + std::to_string(port), ".1.3"};
  const std::vector<std::string> environment = {"SNMPCONFPATH=" + client_config.path(), "MIBS=",
                                                "MIBDIRS=",
                                                "SNMP_PERSISTENT_DIR=" + client_config.path()};
  for (int attempt = 0; attempt < tries; ++attempt) {
    if (RunQuietly(argv, environment) == 0) return true;
    usleep(50 * 1000);
  }
  return false;
}

SnmpAgent::~SnmpAgent() {
  Stop();
  if (!directory_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

void SnmpAgent::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int poll_count = 0; poll_count < kStopPolls; ++poll_count) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    usleep(10 * 1000);
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

std::string SnmpAgent::address() const { return "127.0.0.1:" + std::to_string(port_); }

std::string SnmpAgent::Log() const { return ReadFile(log_path_); }

std::unique_ptr<SnmpAgent> SnmpAgent::StartSnmpd(const std::string& config_lines, std::string* error,
                                                 const std::string& community) {
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    std::unique_ptr<SnmpAgent> agent(new SnmpAgent());
    agent->directory_ = MakePrivateDirectory("snmpd");
    agent->port_ = FreeUdpPort();
    agent->log_path_ = agent->directory_ + "/snmpd.log";
    const std::string config = agent->directory_ + "/snmpd.conf";
    WriteText(config, SnmpdConfig(agent->port_, community, config_lines));
    agent->pid_ = Spawn({{"snmpd", "-f", "-C", "-c", config, "-Lf", agent->log_path_, "-I", "-smux",
                          "-p", agent->directory_ + "/snmpd.pid"},
                         {"SNMP_PERSISTENT_DIR=" + agent->directory_ + "/state", "MIBS=", "MIBDIRS="},
                         agent->directory_ + "/snmpd.out",
                         -1});
    if (agent->pid_ > 0 && WaitUntilAnswering(agent->port_, community) && StillRunning(agent->pid_)) {
      return agent;
    }
    *error = "snmpd did not answer on port " + std::to_string(agent->port_) + ": " + agent->Log();
  }
  return nullptr;
}

std::unique_ptr<SnmpAgent> SnmpAgent::StartSnmpsim(const std::string& snmprec, std::string* error,
                                                   const std::string& community,
                                                   const std::vector<std::string>& extra_options) {
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    std::unique_ptr<SnmpAgent> agent(new SnmpAgent());
    agent->directory_ = MakePrivateDirectory("snmpsim");
    agent->port_ = FreeUdpPort();
    agent->log_path_ = agent->directory_ + "/snmpsim.log";
    const std::string data = agent->directory_ + "/data";
    const std::string cache = agent->directory_ + "/cache";
    mkdir(data.c_str(), 0755);
    mkdir(cache.c_str(), 0777);
    WriteText(data + "/" + community + ".snmprec", snmprec);
    WriteText(agent->log_path_, "");
    std::vector<std::string> argv = {"snmpsimd", "--data-dir=" + data, "--cache-dir=" + cache,
                                     "--agent-udpv4-endpoint=" + agent->address(),
                                     "--logging-method=file:" + agent->log_path_};
    if (RunningAsRoot()) {
      // snmpsimd refuses to run as root; it drops to nobody, who must be
      // able to write its cache and log.
      if (chown(cache.c_str(), kOtherUid, kOtherGid) != 0 ||
          chown(agent->log_path_.c_str(), kOtherUid, kOtherGid) != 0) {
        *error = std::string("chown failed: ") + std::strerror(errno);
        return nullptr;
      }
      argv.push_back("--process-user=nobody");
      argv.push_back("--process-group=nogroup");
    }
    argv.insert(argv.end(), extra_options.begin(), extra_options.end());
    agent->pid_ = Spawn({argv, {}, agent->directory_ + "/snmpsim.out", -1});
    if (agent->pid_ > 0 && WaitUntilAnswering(agent->port_, community) && StillRunning(agent->pid_)) {
      return agent;
    }
    *error = "snmpsimd did not answer on port " + std::to_string(agent->port_) + ": " + agent->Log() +
             ReadFile(agent->directory_ + "/snmpsim.out");
  }
  return nullptr;
}

std::unique_ptr<SnmpAgent> SnmpAgent::StartPortPrinter(const std::string& program,
                                                       const std::vector<std::string>& arguments,
                                                       std::string* error) {
  std::unique_ptr<SnmpAgent> agent(new SnmpAgent());
  agent->directory_ = MakePrivateDirectory("responder");
  agent->log_path_ = agent->directory_ + "/stderr.log";
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    *error = std::string("pipe2 failed: ") + std::strerror(errno);
    return nullptr;
  }
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  // Its Net-SNMP library keeps whatever it writes in the agent's directory.
  agent->pid_ = Spawn({argv, {"SNMP_PERSISTENT_DIR=" + agent->directory_ + "/state"}, agent->log_path_,
                       pipe_fds[1]});
  close(pipe_fds[1]);
  const std::string line = ReadFirstLine(pipe_fds[0]);
  close(pipe_fds[0]);
  agent->port_ = std::atoi(line.c_str());
  if (agent->pid_ <= 0 || agent->port_ <= 0) {
    *error = program + " printed no port: " + agent->Log();
    return nullptr;
  }
  return agent;
}

void UsePrivateSnmpClientConfig(const std::string& extra_lines) {
  static TempDir directory;
  static bool done = false;
  if (done) return;
  done = true;
  const std::string config_dir = directory.File("client");
  const std::string state_dir = directory.File("state");
  mkdir(config_dir.c_str(), 0755);
  mkdir(state_dir.c_str(), 0755);
  WriteText(config_dir + "/snmp.conf", "mibs :\nmibdirs :\n" + extra_lines + "\n");
  setenv("SNMPCONFPATH", config_dir.c_str(), 1);
  setenv("SNMP_PERSISTENT_DIR", state_dir.c_str(), 1);
}

SilentDevice::SilentDevice() {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    ADD_FAILURE() << "cannot bind a silent UDP socket: " << std::strerror(errno);
    return;
  }
  port_ = ntohs(address.sin_port);
}

SilentDevice::~SilentDevice() {
  if (fd_ >= 0) ::close(fd_);
}

std::string SilentDevice::address() const { return "127.0.0.1:" + std::to_string(port_); }

bool SilentDevice::AwaitDatagram(int timeout_ms) const {
  pollfd readable{fd_, POLLIN, 0};
  return ::poll(&readable, 1, timeout_ms) == 1 && DatagramsReceived() > 0;
}

int SilentDevice::DatagramsReceived() const {
  int count = 0;
  char buffer[2048];
  while (::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT) >= 0) ++count;
  return count;
}

}  // namespace zvtest
