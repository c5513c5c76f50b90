// The shell execution component on real children: a script that logs its folder and arguments,
// and a stand-in desktop opener on PATH that records what it was asked to open.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "app/WexShell.h"
#include "common/Paths.h"
#include "tests/archive/TestFiles.h"

namespace {

namespace fs = std::filesystem;
using archive_test::ReadFile;
using archive_test::TempDir;
using archive_test::WriteFile;

void WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

// Waits for a file a detached child writes; gives up after a generous while.
std::string AwaitFile(const std::string& path) {
  for (int i = 0; i < 2000 && !fs::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return ReadFile(path);
}

class ShellExecution : public testing::Test {
 protected:
  void SetUp() override {
    // The logging program, and an opener that records its argument and fails for "*.noassoc".
    WriteScript(dir_.Path("logargs.sh"),
                "out=\"$(dirname \"$0\")/args.log\"\npwd > \"$out.tmp\"\nfor a in \"$@\"; do printf '%s\\n' \"$a\" "
                ">> \"$out.tmp\"; done\nmv \"$out.tmp\" \"$out\"\n");
    WriteScript(dir_.Path("bin/xdg-open"),
                "printf '%s\\n' \"$1\" >> \"" + dir_.Path("opened.log") +
                    "\"\ncase \"$1\" in *.noassoc) exit 3;; esac\nexit 0\n");
    savedPath_ = std::getenv("PATH");
    setenv("PATH", (dir_.Path("bin") + ":" + savedPath_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", savedPath_.c_str(), 1); }

  TempDir dir_;
  std::string savedPath_;
};

TEST_F(ShellExecution, ParametersArriveAsWordsAndNothingIsExpanded) {
  TWexShell shell;
  shell.Command = "logargs.sh";
  shell.DefaultDir = dir_.Path();
  shell.Parameters = "plain \"a b\" 'c  d' ; | $(id) $HOME * `id` x\"y z\"w";
  shell.Wait = true;
  shell.Execute();
  EXPECT_EQ(shell.Command, dir_.Path("logargs.sh"));
  EXPECT_EQ(ReadFile(dir_.Path("args.log")),
            dir_.Path() + "\nplain\na b\nc  d\n;\n|\n$(id)\n$HOME\n*\n`id`\nxy zw\n");
}

TEST_F(ShellExecution, EmptyFolderMeansTheExecutablesFolder) {
  const std::string name = "wexshell-" + std::to_string(getpid()) + ".sh";
  const std::string script = paths::Join(paths::ExecutableFolder(), name);
  WriteScript(script, "pwd > \"" + dir_.Path("where.log") + "\"\n");
  TWexShell shell;
  shell.Command = name;
  shell.Wait = true;
  shell.Execute();
  fs::remove(script);
  EXPECT_EQ(shell.DefaultDir, paths::ExecutableFolder());
  EXPECT_EQ(shell.Command, script);
  EXPECT_EQ(ReadFile(dir_.Path("where.log")), paths::ExecutableFolder() + "\n");
}

TEST_F(ShellExecution, DocumentsAndLinksGoToTheOpener) {
  WriteFile(dir_.Path("notes.txt"), "notes");
  TWexShell shell;
  shell.DefaultDir = dir_.Path();
  shell.Wait = true;
  for (const char* command : {"notes.txt", "https://example.org/a?b=c&d", "mailto:someone@example.org"}) {
    shell.Command = command;
    shell.Execute();
  }
  EXPECT_EQ(ReadFile(dir_.Path("opened.log")),
            dir_.Path("notes.txt") + "\nhttps://example.org/a?b=c&d\nmailto:someone@example.org\n");
  EXPECT_STREQ(ShellVerb(oNULL), "NULL");
  EXPECT_STREQ(ShellVerb(oOpen), "open");
}

TEST_F(ShellExecution, WaitFiresEventsInOrderAndEndsWithTheChild) {
  WriteScript(dir_.Path("quick.sh"), "exit 7\n");
  WriteScript(dir_.Path("killed.sh"), "kill -9 $$\n");
  WriteScript(dir_.Path("forever.sh"), "echo $$ > forever.pid\nexec sleep 1000\n");
  for (const char* script : {"quick.sh", "killed.sh", "forever.sh"}) {
    SCOPED_TRACE(script);
    TWexShell shell;
    shell.Command = script;
    shell.DefaultDir = dir_.Path();
    shell.Wait = true;
    std::string events;
    shell.OnBeforeStart = [&](TWexShell*) { events += "before "; };
    shell.OnAfterStart = [&](TWexShell*) { events += "after "; };
    shell.OnFinished = [&](TWexShell*) { events += "finished"; };
    int polls = 0;
    // The long runner ends only because the application terminates.
    shell.Terminated = [&] { return std::string(script) == "forever.sh" && ++polls > 3; };
    shell.Execute();
    EXPECT_EQ(events, "before after finished");
  }
  const pid_t forever = std::stoi(AwaitFile(dir_.Path("forever.pid")));
  kill(forever, SIGKILL);
  waitpid(forever, nullptr, 0);
}

TEST_F(ShellExecution, WithoutWaitNoZombieStays) {
  TWexShell shell;
  shell.Command = dir_.Path("logargs.sh");
  shell.Parameters = "one";
  bool after = false;
  shell.OnAfterStart = [&](TWexShell*) { after = true; };
  shell.Execute();
  EXPECT_TRUE(after);
  EXPECT_NE(AwaitFile(dir_.Path("args.log")).find("one"), std::string::npos);
  int status = 0;
  EXPECT_EQ(waitpid(-1, &status, WNOHANG), -1);  // no child of ours left to reap
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ShellExecution, FailedStartsGiveTheirCodes) {
  WriteFile(dir_.Path("report.noassoc"), "x");
  struct Case {
    std::string command;
    std::string folder;
    int code;
  };
  const std::vector<Case> cases = {{"missing.sh", dir_.Path(), 2},
                                   {"tool.sh", dir_.Path("no-such-folder"), 3},
                                   {dir_.Path("no-such-folder/tool.sh"), dir_.Path(), 3},
                                   {"report.noassoc", dir_.Path(), 31}};
  TWexShell texts;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    std::string expected;
    texts.GetErrorText(c.code, expected);
    TWexShell shell;
    shell.Command = c.command;
    shell.DefaultDir = c.folder;
    shell.Wait = true;
    bool after = false;
    shell.OnAfterStart = [&](TWexShell*) { after = true; };
    try {
      shell.Execute();
      ADD_FAILURE() << "no failure raised";
    } catch (const EWexShell& e) {
      EXPECT_EQ(e.what(), expected);
    }
    std::string reported;
    shell.Command = c.command;
    shell.DefaultDir = c.folder;
    shell.OnError = [&](TWexShell*, const std::string& text) { reported = text; };
    shell.Execute();
    EXPECT_EQ(reported, expected);
    // Guards: a failed start still fired OnAfterStart and went unreported.
    shell.Wait = false;
    reported.clear();
    shell.Execute();
    EXPECT_EQ(reported.empty(), c.code == 31);  // the opener's verdict is known only when waiting
    EXPECT_EQ(after, c.code == 31);
  }
  TWexShell shell;
  shell.OnError = [](TWexShell*, const std::string&) {};
  try {
    shell.Execute();
    ADD_FAILURE();
  } catch (const EWexShell& e) {
    EXPECT_STREQ(e.what(), "No Command to Execute!");
  }
}

TEST(ShellErrorTexts, EveryCodeHasItsText) {
  const std::pair<int, const char*> table[] = {
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
      {30, "The Dynamic Data Exchange (DDE) transaction could not be completed because other DDE transactions were "
           "being processed."},
      {31, "There is no application associated with the given file name extension. This error will also be returned "
           "if you attempt to print a file that is not printable."},
      {32, "The specified dynamic-link library (DLL) was not found."},
      {99, "Error Unknown. Code number: 99"},
  };
  TWexShell shell;
  for (const auto& [code, text] : table) {
    std::string got;
    shell.GetErrorText(code, got);
    EXPECT_EQ(got, text) << code;
  }
  EXPECT_EQ(SplitParameters("  a  'b c'\"\" "), (std::vector<std::string>{"a", "b c"}));
}

}  // namespace
