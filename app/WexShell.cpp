#include "app/WexShell.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <filesystem>
#include <map>
#include <thread>

#include "common/Paths.h"
#include "platform/ui/Application.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Start error codes of the shell.
constexpr int kOutOfResources = 0;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kNotEnoughMemory = 8;
constexpr int kBadFormat = 11;
constexpr int kNoAssociation = 31;

constexpr const char* kOpener = "xdg-open";

// A link: a scheme of two or more letters, digits, "+", "-" or "." before a colon ("http:",
// "mailto:"); one letter before the colon is a drive.
bool IsLink(const std::string& command) {
  const std::size_t colon = command.find(':');
  if (colon == std::string::npos || colon < 2) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = command[i];
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return false;
  }
  return std::isalpha(static_cast<unsigned char>(command[0])) != 0;
}

bool HasFolderPart(const std::string& command) { return command.find_first_of("/\\:") != std::string::npos; }

int ErrorCodeOf(int error) {
  switch (error) {
    case ENOENT: return kFileNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM: return kAccessDenied;
    case ENOMEM: return kNotEnoughMemory;
    case ENOEXEC: return kBadFormat;
    default: return kOutOfResources;
  }
}

// A prepared start: the program, its arguments and working folder, in the forms posix_spawn takes.
struct Request {
  std::string program;
  std::vector<std::string> args;  // args[0] is the program
  std::string folder;
  bool opener = false;  // the program is the desktop opener, found on PATH
};

// A request made ready for posix_spawn: its folder change and argument vector. Everything is
// prepared up front, so that a forked child only has to call Run.
class PreparedSpawn {
 public:
  explicit PreparedSpawn(const Request& request) : request_(request) {
    posix_spawn_file_actions_init(&actions_);
    ready_ = posix_spawn_file_actions_addchdir_np(&actions_, request.folder.c_str()) == 0;
    for (const std::string& arg : request.args) argv_.push_back(const_cast<char*>(arg.c_str()));
    argv_.push_back(nullptr);
  }
  ~PreparedSpawn() { posix_spawn_file_actions_destroy(&actions_); }
  PreparedSpawn(const PreparedSpawn&) = delete;
  PreparedSpawn& operator=(const PreparedSpawn&) = delete;

  // 0 and the child's id, or the errno of the failure.
  int Run(pid_t& pid) {
    if (!ready_) return ENOMEM;
    const char* program = request_.program.c_str();
    return request_.opener ? posix_spawnp(&pid, program, &actions_, nullptr, argv_.data(), environ)
                           : posix_spawn(&pid, program, &actions_, nullptr, argv_.data(), environ);
  }

 private:
  const Request& request_;
  posix_spawn_file_actions_t actions_;
  std::vector<char*> argv_;
  bool ready_ = false;
};

int Spawn(const Request& request, pid_t& pid) { return PreparedSpawn(request).Run(pid); }

// Starts the request without keeping a child: an intermediate child spawns it and ends at once,
// handing back the spawn's errno as its exit status, so the started process never stays behind
// as a zombie of ours.
int SpawnDetached(const Request& request) {
  PreparedSpawn prepared(request);
  const pid_t middle = fork();
  if (middle < 0) return errno;
  if (middle == 0) {
    pid_t pid = 0;
    _exit(prepared.Run(pid) & 0xFF);
  }
  int status = 0;
  while (waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : ECHILD;
}

// The start error of a request that cannot be made (missing file or folder); -1 when it can.
int CheckRequest(const std::string& command, const std::string& folder) {
  if (!fs::is_directory(folder)) return kPathNotFound;
  if (IsLink(command)) return -1;
  const fs::path path(command);
  std::error_code ec;
  if (fs::exists(path, ec)) return -1;
  return fs::is_directory(path.parent_path(), ec) || path.parent_path().empty() ? kFileNotFound : kPathNotFound;
}

// Programs (executable regular files) are spawned with their parameters; documents, folders and
// links go to the opener.
Request MakeRequest(const TWexShell& shell) {
  Request request;
  request.folder = shell.DefaultDir;
  struct stat st {};
  const bool program = !IsLink(shell.Command) && stat(shell.Command.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                       access(shell.Command.c_str(), X_OK) == 0;
  if (program) {
    request.program = shell.Command;
    request.args.push_back(shell.Command);
    for (std::string& word : SplitParameters(shell.Parameters)) request.args.push_back(std::move(word));
  } else {
    request.program = kOpener;
    request.opener = true;
    request.args = {kOpener, shell.Command};
  }
  return request;
}

}  // namespace

const char* ShellVerb(TWexShellOperation aOperation) {
  switch (aOperation) {
    case oOpen: return "open";
    case oPrint: return "print";
    case oExplore: return "explore";
    case oEdit: return "edit";
    case oFind: return "find";
    case oNULL: return "NULL";
  }
  return "open";
}

std::vector<std::string> SplitParameters(const std::string& aParameters) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (char c : aParameters) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word.push_back(c);
      }
    } else if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(std::move(word));
      word.clear();
      inWord = false;
    } else {
      word.push_back(c);
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(word));
  return words;
}

void TWexShell::Execute() {
  if (Command.empty()) throw EWexShell("No Command to Execute!");
  if (DefaultDir.empty()) DefaultDir = paths::ExecutableFolder();
  if (!HasFolderPart(Command)) Command = paths::Join(DefaultDir, Command);
  const Request request = MakeRequest(*this);
  if (OnBeforeStart) OnBeforeStart(this);

  int code = CheckRequest(Command, DefaultDir);
  pid_t pid = 0;
  if (code < 0) {
    const int rc = Wait ? Spawn(request, pid) : SpawnDetached(request);
    if (rc != 0) code = request.opener ? kNoAssociation : ErrorCodeOf(rc);
  }
  int status = 0;
  if (code < 0 && Wait && request.opener) {
    // The opener decides whether the document has a handler: its failure is a failed start.
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      code = WIFEXITED(status) && WEXITSTATUS(status) == 2 ? kFileNotFound : kNoAssociation;
    }
    pid = 0;
  }
  if (code >= 0) {
    std::string text;
    GetErrorText(code, text);
    if (OnError) {
      OnError(this, text);
    } else if (Wait) {
      throw EWexShell(text);
    }
    return;
  }
  if (OnAfterStart) OnAfterStart(this);
  if (!Wait) return;
  // Keep the windows alive until the process ends, whatever its status, or the application ends.
  while (pid != 0) {
    ui::ProcessPendingMessages();
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) break;
    if (Terminated && Terminated()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (OnFinished) OnFinished(this);
}

void TWexShell::GetErrorText(int aCode, std::string& aText) const {
  static const std::map<int, const char*> kTexts = {
      {0, "The Operating System is out of memory or resources"},
      {2, "The specified file was not found."},
      {3, "The specified path was not found."},
      {5, "The operating system denied access to the specified file."},
      {8, "There was not enough memory to complete the operation."},
      {11, "The .exe file is invalid (non-Microsoft Win32\u00ae .exe or error in .exe image)."},
      {26, "A sharing violation occurred."},
      {27, "The file name association is incomplete or invalid."},
      {28, "The DDE transaction could not be completed because the request timed out."},
      {29, "The DDE transaction failed."},
      {30, "The Dynamic Data Exchange (DDE) transaction could not be completed because other DDE transactions "
           "were being processed."},
      {31, "There is no application associated with the given file name extension. This error will also be "
           "returned if you attempt to print a file that is not printable."},
      {32, "The specified dynamic-link library (DLL) was not found."},
  };
  const auto it = kTexts.find(aCode);
  aText = it != kTexts.end() ? it->second : "Error Unknown. Code number: " + std::to_string(aCode);
}
