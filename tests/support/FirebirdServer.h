#pragma once
// A Firebird server of its own for one test or benchmark: the installed
// server program (/usr/sbin/firebird) running in the foreground on a free
// port of 127.0.0.1, with its configuration, security database, lock and
// temporary folders in a private folder. It is ended (SIGTERM, then
// SIGKILL) when the object goes, and dies with the process that started it
// even when that one crashes. Self-contained so that the benchmarks can use
// it too.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace px::test {

class FirebirdServer {
 public:
  static constexpr const char* AdminUser = "SYSDBA";
  static constexpr const char* AdminPassword = "srv0pass";
  static constexpr const char* ServerProgram = "/usr/sbin/firebird";
  static constexpr const char* PackageFolder = "/usr/lib/x86_64-linux-gnu/firebird/3.0";

  // Prepares the folders and the security database and starts the server.
  FirebirdServer() {
    char pattern[] = "/tmp/px-fbserver-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    folder_ = pattern;
    namespace fs = std::filesystem;
    try {
      for (const char* sub : {"root", "lock", "tmp", "data"}) fs::create_directory(folder_ / sub);
      for (const char* item : {"firebird.msg", "plugins", "UDF", "lib"})
        fs::create_symlink(fs::path(PackageFolder) / item, folder_ / "root" / item);
      // The engine loads no character set module through a symbolic link:
      // the folder holds a copy of the package's module and its list.
      fs::create_directory(folder_ / "root" / "intl");
      for (const char* item : {"libfbintl.so", "fbintl.conf"})
        fs::copy_file(fs::path(PackageFolder) / "intl" / item, folder_ / "root" / "intl" / item);
      fs::copy_file(fs::path(PackageFolder) / "plugins.conf", folder_ / "root" / "plugins.conf");
      write(folder_ / "root" / "databases.conf", "");
      port_ = freePort();
      write(folder_ / "root" / "firebird.conf",
            "RemoteServicePort = " + std::to_string(port_) +
                "\nRemoteBindAddress = 127.0.0.1\nSecurityDatabase = " + (folder_ / "root" / "security3.fdb").string() +
                "\n");
      // The security database, made by the embedded engine before the
      // server runs: its administrator is the one login the server knows.
      write(folder_ / "security.sql", "create database '" + (folder_ / "root" / "security3.fdb").string() +
                                          "' user SYSDBA;\ncreate user SYSDBA password '" + AdminPassword +
                                          "' using plugin Srp;\ncommit;\n");
      const std::string command = environmentPrefix() + " isql-fb -q -i '" + (folder_ / "security.sql").string() +
                                  "' > '" + (folder_ / "security.log").string() + "' 2>&1";
      if (std::system(command.c_str()) != 0 || !fs::exists(folder_ / "root" / "security3.fdb"))
        throw std::runtime_error("the security database could not be made: " + read(folder_ / "security.log"));
      Start();
    } catch (...) {
      cleanUp();
      throw;
    }
  }

  ~FirebirdServer() { cleanUp(); }
  FirebirdServer(const FirebirdServer&) = delete;
  FirebirdServer& operator=(const FirebirdServer&) = delete;

  int Port() const { return port_; }
  // A folder for the server's databases.
  std::string DataFolder() const { return (folder_ / "data").string(); }
  // The connection name of a file in the data folder, "127.0.0.1/port:path".
  std::string Name(const std::string& file) const {
    return "127.0.0.1/" + std::to_string(port_) + ":" + (folder_ / "data" / file).string();
  }
  std::string Path(const std::string& file) const { return (folder_ / "data" / file).string(); }
  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0; }

  // Starts the server and waits until it accepts connections.
  void Start() {
    if (pid_ > 0) return;
    const std::string log = (folder_ / "server.log").string();
    // The child's environment is built before the fork: after it, only
    // calls that are safe in a child of a threaded process are made.
    std::vector<std::string> env = environment();
    for (char** e = environ; *e; ++e) {
      const std::string entry = *e;
      if (entry.rfind("FIREBIRD=", 0) != 0 && entry.rfind("FIREBIRD_LOCK=", 0) != 0 &&
          entry.rfind("FIREBIRD_TMP=", 0) != 0)
        env.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      // Dies with whoever started it, even a crashed test.
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(1);
      int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
      }
      char* const argv[] = {const_cast<char*>(ServerProgram), nullptr};
      execve(ServerProgram, argv, envp.data());
      _exit(127);
    }
    pid_ = pid;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!accepts()) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        throw std::runtime_error("the server ended at its start: " + read(folder_ / "server.log"));
      }
      if (std::chrono::steady_clock::now() > until) {
        Stop();
        throw std::runtime_error("the server did not listen within 20 s");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // Ends the server (it finishes its attachments' connections) and waits for it.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > until) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
  }

  // Freezes and thaws the server (SIGSTOP, SIGCONT): a server that hangs.
  void Pause() {
    if (pid_ > 0) kill(pid_, SIGSTOP);
  }
  void Resume() {
    if (pid_ > 0) kill(pid_, SIGCONT);
  }

  // Runs a script through isql-fb (over the network, as the administrator
  // unless the script connects itself) and answers its output, errors
  // included.
  std::string Isql(const std::string& script, const std::string& options = "") const {
    static int counter = 0;
    const auto file = folder_ / ("script" + std::to_string(++counter) + ".sql");
    write(file, script);
    const auto out = folder_ / ("script" + std::to_string(counter) + ".out");
    const std::string command = "ISC_USER=" + std::string(AdminUser) + " ISC_PASSWORD=" + AdminPassword +
                                " isql-fb -q " + options + " -i '" + file.string() + "' > '" + out.string() +
                                "' 2>&1";
    [[maybe_unused]] int rc = std::system(command.c_str());
    return read(out);
  }

  std::string Log() const { return read(folder_ / "server.log"); }

 private:
  static void write(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) throw std::runtime_error("cannot write " + file.string());
  }
  static std::string read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // A port nobody listens on now; the server binds it moments later.
  static int freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) throw std::runtime_error("socket failed");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      close(s);
      throw std::runtime_error("no free port");
    }
    close(s);
    return ntohs(a.sin_port);
  }

  bool accepts() const {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port_));
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
  }

  std::vector<std::string> environment() const {
    return {"FIREBIRD=" + (folder_ / "root").string(), "FIREBIRD_LOCK=" + (folder_ / "lock").string(),
            "FIREBIRD_TMP=" + (folder_ / "tmp").string()};
  }
  std::string environmentPrefix() const {
    std::string prefix = "env";
    for (const std::string& e : environment()) prefix += " '" + e + "'";
    return prefix;
  }

  void cleanUp() noexcept {
    try {
      Stop();
    } catch (...) {
    }
    std::error_code ec;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ec);
  }

  std::filesystem::path folder_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace px::test
