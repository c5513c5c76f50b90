// What the application's tests share: a fresh application folder, a text file's lines, and
// programs run as a user or a script runs them.
#pragma once

#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../engine/RoundTrip.h"

extern char** environ;

namespace app_test {

using Lines = std::vector<std::string>;

// A new empty folder of the program's work folder.
inline std::string AppFolder(const std::string& aName) {
  const std::filesystem::path folder = std::filesystem::path(round_trip::WorkFolder()) / aName;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder.string();
}

// The file's lines, each without its line end (LF or CR LF).
inline Lines FileLines(const std::string& aFile) {
  std::ifstream in(aFile, std::ios::binary);
  Lines lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Runs argv[0] (found on PATH when it has no folder) with the arguments; its exit status.
inline int RunCommand(const Lines& aArgs) {
  std::vector<char*> argv;
  for (const std::string& a : aArgs) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  // A signal may end the wait before the child does: wait again, or the next run would start
  // (or overwrite the program) while this one still exits.
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The command run as under ssh or a scheduler with a stale DISPLAY: no display server answers it,
// and no platform is chosen for the program.
inline Lines WithDeadDisplay(const Lines& aArgs) {
  Lines args{"env", "-u", "QT_QPA_PLATFORM", "-u", "WAYLAND_DISPLAY", "DISPLAY=:4321"};
  args.insert(args.end(), aArgs.begin(), aArgs.end());
  return args;
}

// A copy of the built Schemion32 in the folder; its path.
inline std::string PlaceProgram(const std::string& aFolder) {
  const std::string program = aFolder + "/Schemion32";
  // Copied beside and renamed over: the system may still hold an earlier copy that just ran as
  // busy, and a busy program cannot be written in place.
  std::filesystem::copy_file(std::string(SCHEMION_BINARY_DIR) + "/app/Schemion32", program + ".new",
                             std::filesystem::copy_options::overwrite_existing);
  std::filesystem::rename(program + ".new", program);
  return program;
}

// A shop's master (SQL Server) and an older client of it on SQL Server and on Adaptive Server
// Anywhere, with two rows to keep.
inline const Lines kShopMaster = {
    "CREATE TABLE Customers (CustomerId int NOT NULL PRIMARY KEY, Name varchar (80) NOT NULL, City varchar (40) NULL)",
    "CREATE TABLE Orders (OrderId int NOT NULL PRIMARY KEY, CustomerId int NOT NULL, Amount money NULL)",
};
inline const Lines kShopClient = {
    "CREATE TABLE Customers (CustomerId int NOT NULL PRIMARY KEY, Name varchar (50) NOT NULL)",
    "INSERT INTO Customers VALUES (1, 'Rossi')",
    "INSERT INTO Customers VALUES (2, 'O''Brien')",
};
inline const Lines kShopAsaClient = {
    "CREATE TABLE Customers (CustomerId integer NOT NULL PRIMARY KEY, Name varchar(50) NOT NULL)",
    "INSERT INTO Customers VALUES (1, 'Rossi')", "INSERT INTO Customers VALUES (2, 'O''Brien')"};

}  // namespace app_test
