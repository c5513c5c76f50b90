#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QEvent>
#include <QGroupBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <filesystem>
#include <string>

#include "components/DisplayLines.h"
#include "components/uConsole.h"
#include "components/uDbLanguage.h"
#include "components/uProgressInfo.h"
#include "platform/ui/Application.h"

namespace {

// The windows make their own application object when the program has none.
class Windows : public ::testing::Test {};

// The memo's lines, once every added line has reached it.
std::vector<std::string> Lines(TConsoleFrm& console) {
  console.FlushLines();
  std::vector<std::string> lines;
  for (QTextBlock b = console.txtConsole->document()->begin(); b.isValid(); b = b.next()) {
    lines.push_back(b.text().toStdString());
  }
  return lines;
}

// Waits, processing messages, until the memo holds `blocks` lines (at most 5 s).
void WaitForBlocks(const QPlainTextEdit& memo, int blocks) {
  const QDeadlineTimer deadline(5000);
  while (memo.document()->blockCount() < blocks && !deadline.hasExpired()) ui::ProcessPendingMessages();
}

// Notes the value of the progress bar it watches each time the bar is painted.
struct PaintCounter : QObject {
  int lastValue = -1;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) lastValue = static_cast<QProgressBar*>(watched)->value();
    return false;
  }
};

// Saves the window's picture in the test build folder for review.
void SavePicture(QWidget& window, const std::string& name) {
  window.show();
  ui::ProcessPendingMessages();
  const QPixmap picture = window.grab();
  const std::string path = std::string(SCHEMION_TEST_BUILD_DIR) + "/" + name;
  std::filesystem::remove(path);
  ASSERT_TRUE(picture.save(QString::fromStdString(path), "PNG"));
  EXPECT_TRUE(std::filesystem::exists(path));
}

// The level's caption is "[ text ]" and its panel shows the text.
void ExpectShows(const TProgressInfoFrm& p, int level, const std::string& text) {
  SCOPED_TRACE("level " + std::to_string(level));
  EXPECT_EQ(p.Caption(level), "[ " + text + " ]");
  EXPECT_EQ(p.PanelText(level), text);
}

// The opening of an extraction or an update: level 0 shows the title and counts `max` steps,
// level 1 is empty with one step, level 2 is hidden.
void ExpectRunOpened(const TProgressInfoFrm& p, const std::string& title, int max) {
  EXPECT_TRUE(p.LevelVisible(0));
  EXPECT_TRUE(p.LevelVisible(1));
  EXPECT_FALSE(p.LevelVisible(2));
  EXPECT_EQ(p.Maximum(0), max);
  EXPECT_EQ(p.Maximum(1), 1);
  ExpectShows(p, 0, title);
  EXPECT_EQ(p.Caption(1), "");
}

void ExpectLevelEmpty(const TProgressInfoFrm& p, int level) {
  SCOPED_TRACE("level " + std::to_string(level));
  EXPECT_EQ(p.Position(level), 0);
  EXPECT_EQ(p.Caption(level), "");
  EXPECT_EQ(p.PanelText(level), "");
}

}  // namespace

TEST_F(Windows, ConsoleAddsPromptedLines) {
  TConsoleFrm console;
  EXPECT_EQ(console.windowTitle(), "Schemion Monitor");
  EXPECT_TRUE(console.windowFlags().testFlag(Qt::Tool));
  EXPECT_TRUE(console.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_TRUE(console.txtConsole->isReadOnly());
  EXPECT_EQ(console.Prompt(), "Console:>");
  EXPECT_EQ(console.LineCount(), 0);
  EXPECT_EQ(console.txtConsole->toPlainText(), "");

  console.AddLine("Done");
  EXPECT_EQ(Lines(console), std::vector<std::string>{"Console:>Done"});

  // The error block of a run: one added line that shows as several memo lines.
  TDbLanguageOptions texts;
  const std::string block = texts.ConsoleError + "\r\n" +
                            DbFormat(texts.ConsoleDescription, {std::string("d")}) + "\r\n" +
                            DbFormat(texts.ConsoleInstrNumber, {12});
  console.AddLine(block);
  EXPECT_EQ(console.LineCount(), 2);
  EXPECT_EQ(Lines(console),
            (std::vector<std::string>{"Console:>Done", "Console:> --- ERROR --- ",
                                      "    DESCRIPTION: d", "    INSTRUCTION NUMBER: 12"}));

  // Closing only hides: the window still takes lines.
  console.show();
  console.close();
  EXPECT_TRUE(console.isHidden());
  console.AddLine("after close");
  EXPECT_EQ(console.LineCount(), 3);
}

// Regression: one huge line (a statement with a huge value) was laid out whole in the console and
// the progress window, shown or hidden, for minutes; only the windows cut it.
TEST_F(Windows, AHugeLineIsCutInTheWindows) {
  const std::string line = "INSERT INTO t VALUES ('" + std::string(1000000, 'x') + "')";
  const std::string cut = line.substr(0, displaylines::kLineLimit) + "\u2026";
  TConsoleFrm console;
  console.AddLine(line + "\r\nGO");
  EXPECT_EQ(Lines(console), (std::vector<std::string>{"Console:>" + cut, "GO"}));
  TProgressInfoFrm progress;
  progress.SetInfoText(line);
  progress.StepLevel0(line);
  EXPECT_EQ(progress.InfoText(), cut);
  EXPECT_EQ(progress.PanelText(0), cut);
  // Characters are never split: a line of two-byte characters is cut after as many characters.
  std::string e;
  for (size_t i = 0; i <= displaylines::kLineLimit; ++i) e += "\u00e9";
  EXPECT_EQ(displaylines::CutLongLines(e), e.substr(0, 2 * displaylines::kLineLimit) + "\u2026");
}

TEST_F(Windows, TextsReachTheMemosUnasked) {
  TConsoleFrm console;
  console.AddLine("while hidden");
  console.show();
  EXPECT_EQ(console.txtConsole->toPlainText(), "Console:>while hidden") << "in the memo before it paints";
  console.AddLine("while shown");
  WaitForBlocks(*console.txtConsole, 2);
  EXPECT_EQ(console.txtConsole->toPlainText(), "Console:>while hidden\nConsole:>while shown")
      << "at the window's next tick";
  console.close();

  TProgressInfoFrm progress;
  progress.SetInfoText("while hidden");
  progress.show();
  EXPECT_EQ(progress.txtProgressInfo->toPlainText(), "while hidden");
  progress.SetInfoText("while\nshown");
  WaitForBlocks(*progress.txtProgressInfo, 2);
  EXPECT_EQ(progress.txtProgressInfo->toPlainText(), "while\nshown");

  // Paints held back within a tick are not lost: the bar is painted with its last value.
  PaintCounter counter;
  progress.pbLevel0->installEventFilter(&counter);
  progress.BeginCheckDb(10);
  for (int i = 0; i < 3; ++i) progress.StepLevel0("step");
  const QDeadlineTimer deadline(5000);
  while (counter.lastValue != 3 && !deadline.hasExpired()) ui::ProcessPendingMessages();
  EXPECT_EQ(counter.lastValue, 3);
  progress.close();
}

TEST_F(Windows, ConsoleOptionsApplied) {
  TConsoleFrm console;
  // Defaults of the options are those of a window without options.
  EXPECT_EQ(console.pos(), QPoint(10, 100));
  EXPECT_EQ(console.size(), QSize(600, 350));
  EXPECT_EQ(console.txtConsole->palette().color(QPalette::Base), QColor(0, 0, 0));
  EXPECT_EQ(console.txtConsole->palette().color(QPalette::Text), QColor(255, 255, 0));
  EXPECT_EQ(console.txtConsole->font().family(), "courier New");
  EXPECT_EQ(console.txtConsole->font().pointSize(), 10);
  EXPECT_EQ(console.txtConsole->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(console.txtConsole->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

  TConsoleOptions options;
  EXPECT_FALSE(options.showOnExecution);
  EXPECT_TRUE(options.leaveOpenedOnErrors);
  EXPECT_FALSE(options.LeaveOpenedOnFinish);
  options.left = 40;
  options.top = 30;
  options.width = 500;
  options.height = 200;
  options.color = 0x800000;  // navy, stored blue-green-red
  options.font.Color = clWhite;
  options.font.Size = 12;
  options.font.Style = fsBold | fsItalic;
  options.font.Pitch = fpFixed;
  options.prompt = "SQL> ";
  options.scrollBars = ssVertical;
  options.StayOnTop = false;
  console.ApplyOptions(&options);
  EXPECT_EQ(console.pos(), QPoint(40, 30));
  EXPECT_EQ(console.size(), QSize(500, 200));
  EXPECT_EQ(console.txtConsole->palette().color(QPalette::Base), QColor(0, 0, 128));
  EXPECT_EQ(console.txtConsole->palette().color(QPalette::Text), QColor(255, 255, 255));
  EXPECT_EQ(console.txtConsole->font().pointSize(), 12);
  EXPECT_TRUE(console.txtConsole->font().bold());
  EXPECT_TRUE(console.txtConsole->font().italic());
  EXPECT_TRUE(console.txtConsole->font().fixedPitch());
  EXPECT_EQ(console.txtConsole->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_EQ(console.txtConsole->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_TRUE(console.windowFlags().testFlag(Qt::WindowStaysOnTopHint))
      << "StayOnTop False leaves it";
  console.AddLine("select 1");
  EXPECT_EQ(Lines(console).back(), "SQL> select 1");

  console.ApplyOptions(nullptr);
  EXPECT_EQ(console.Prompt(), "Console:>");
  EXPECT_EQ(console.size(), QSize(600, 350));
}

TEST_F(Windows, ProgressOptionsSubstitutesAndPlacement) {
  TProgressInfoOptions options;
  EXPECT_EQ(options.width(), 0);
  EXPECT_FALSE(options.StayOnTop);
  options.SetWidth(0);
  EXPECT_EQ(options.width(), 400);
  options.SetWidth(-5);
  EXPECT_EQ(options.width(), 400);
  options.SetWidth(1);
  EXPECT_EQ(options.width(), 1);
  options.SetHeight(0);
  options.SetLeft(-1);
  options.SetTop(0);
  EXPECT_EQ(options.height(), 250);
  EXPECT_EQ(options.left(), 550);
  EXPECT_EQ(options.top(), 10);

  TProgressInfoFrm progress;
  EXPECT_EQ(progress.windowTitle(), "Progress Info Window");
  EXPECT_EQ(progress.pos(), QPoint(550, 10));
  EXPECT_EQ(progress.size(), QSize(400, 250));
  EXPECT_FALSE(progress.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  EXPECT_EQ(progress.InfoText(), TDbLanguageOptions().PInfoMsg);
  EXPECT_EQ(progress.Caption(0), "[ ]");
  EXPECT_TRUE(progress.sbProgressInfo->isHidden());

  // The host's streamed values.
  options.SetWidth(470);
  options.SetHeight(180);
  options.StayOnTop = true;
  progress.ApplyOptions(&options);
  EXPECT_EQ(progress.pos(), QPoint(550, 10));
  EXPECT_EQ(progress.size(), QSize(470, 180));
  EXPECT_TRUE(progress.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

  progress.SetInfoText("line one\r\nline two");
  EXPECT_EQ(progress.InfoText(), "line one\nline two");
  progress.FlushInfoText();
  EXPECT_EQ(progress.txtProgressInfo->toPlainText(), "line one\nline two");
}

TEST_F(Windows, ExtractionSteps) {
  TProgressInfoFrm p;
  p.BeginExtractSchemas(15);
  ExpectRunOpened(p, "Extract Schemas", 15);
  ExpectShows(p, 2, "Schema extraction in progress...");

  p.StepExtractTable("vsiTables");
  EXPECT_EQ(p.Position(0), 1);
  EXPECT_EQ(p.Position(1), 1) << "level 1 is filled to its maximum";
  ExpectShows(p, 1, "vsiTables");

  p.SetLevel1Max(3);
  EXPECT_EQ(p.Position(1), 0);
  EXPECT_EQ(p.Maximum(1), 3);
  p.StepExtractDetail("Orders");
  p.StepExtractDetail("Customers");
  EXPECT_EQ(p.Position(1), 2);
  ExpectShows(p, 2, "Customers");
  EXPECT_EQ(p.pbLevel1->value(), 2);
  EXPECT_EQ(p.pbLevel1->maximum(), 3);
}

TEST_F(Windows, CheckStepsThreeLevels) {
  TProgressInfoFrm p;
  p.BeginCheckDb(3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(p.LevelVisible(i));
    ExpectLevelEmpty(p, i);
  }
  EXPECT_EQ(p.Maximum(0), 3);

  p.StepLevel0("Check, update and delete indexes...");
  p.ResetLevel1(4);
  p.StepLevel1("Orders");
  p.ResetLevel2(2);
  p.StepLevel2("IX_Orders_Date");
  EXPECT_EQ(p.Position(0), 1);
  EXPECT_EQ(p.Position(1), 1);
  EXPECT_EQ(p.Position(2), 1);
  EXPECT_EQ(p.Caption(0), "[ Check, update and delete indexes... ]");
  EXPECT_EQ(p.Caption(1), "[ Orders ]");
  ExpectShows(p, 2, "IX_Orders_Date");

  // A new table clears the detail panel and level 2 (its caption stays until the next detail).
  p.StepLevel1("Customers");
  EXPECT_EQ(p.Position(1), 2);
  EXPECT_EQ(p.PanelText(2), "");
  EXPECT_EQ(p.Position(2), 0);

  // A new phase after a detail step empties levels 1 and 2.
  p.StepLevel2("PK_Customers");
  p.StepLevel0("Check, update and delete views...");
  EXPECT_EQ(p.Position(0), 2);
  ExpectLevelEmpty(p, 1);
  ExpectLevelEmpty(p, 2);
  EXPECT_EQ(p.Maximum(1), 4) << "the maximum stays until the next reset";

  // Stepping past the maximum starts the level again.
  p.ResetLevel2(1);
  p.StepLevel2("a");
  EXPECT_EQ(p.Position(2), 1);
  p.StepLevel2("b");
  EXPECT_EQ(p.Position(2), 0);

  // Empty and negative maxima show an empty bar, never a busy indicator.
  p.ResetLevel1(0);
  EXPECT_EQ(p.Maximum(1), 0);
  EXPECT_GT(p.pbLevel1->maximum(), p.pbLevel1->minimum());
  p.ResetLevel2(-3);
  EXPECT_EQ(p.Maximum(2), 0);
  p.StepLevel2("c");
  EXPECT_EQ(p.Position(2), 0);
}

TEST_F(Windows, UpdateSteps) {
  TProgressInfoFrm p;
  p.BeginCheckDb(7);
  p.BeginUpdateDb();
  ExpectRunOpened(p, "Update DB", 2);

  p.StepUpdateLevel0("Backup");
  EXPECT_EQ(p.Position(0), 1);
  EXPECT_EQ(p.Position(1), 1) << "each step fills level 1 completely";
  EXPECT_EQ(p.Caption(0), "[ Backup ]");

  p.ResetUpdateLevel1(10);
  EXPECT_EQ(p.Position(1), 0);
  EXPECT_EQ(p.Maximum(1), 10);
  for (int i = 1; i <= 4; ++i) p.StepUpdateLevel1("instruction " + std::to_string(i));
  EXPECT_EQ(p.Position(1), 4);
  ExpectShows(p, 1, "instruction 4");
}

TEST_F(Windows, PicturesForReview) {
  TConsoleFrm console;
  TDbLanguageOptions texts;
  console.AddLine(texts.ConsoleReady);
  console.AddLine(
      DbFormat(texts.msgAddInstruction, {1, std::string("CREATE TABLE Orders (Id int NOT NULL)")}));
  console.AddLine(DbFormat(texts.msgAddInstruction,
                           {2, std::string("ALTER TABLE Customers ADD Phone varchar(20)")}));
  console.AddLine(texts.ConsoleError + "\r\n" +
                  DbFormat(texts.ConsoleDescription, {DbFormat(texts.ErrExecuteInstruction, {2})}) +
                  "\r\n" +
                  DbFormat(texts.ConsoleErrMsg, {std::string("Invalid column name 'Phone'")}) +
                  "\r\n" + DbFormat(texts.ConsoleInstrNumber, {2}) + "\r\n" +
                  DbFormat(texts.ConsoleCommandText,
                           {std::string("ALTER TABLE Customers ADD Phone varchar(20)")}));
  console.AddLine(texts.msgDone);
  SavePicture(console, "console_window.png");

  TProgressInfoFrm progress;
  TProgressInfoOptions options;
  options.SetWidth(470);
  options.SetHeight(260);
  progress.ApplyOptions(&options);
  progress.BeginCheckDb(7);
  progress.StepLevel0(texts.msgUpdateTables);
  progress.StepLevel0(texts.msgCopyData);
  progress.StepLevel0(texts.msgUpdateIndexes);
  progress.ResetLevel1(4);
  progress.StepLevel1("Orders");
  progress.StepLevel1("Customers");
  progress.ResetLevel2(3);
  progress.StepLevel2("IX_Customers_Name");
  progress.SetInfoText(
      DbFormat(texts.msgAddInstruction,
               {14, std::string("CREATE INDEX IX_Customers_Name ON Customers (Name)")}));
  SavePicture(progress, "progress_window.png");
  progress.close();
  console.close();
}

TEST_F(Windows, EveryOperationProcessesPendingMessages) {
  TConsoleFrm console;
  TProgressInfoFrm progress;
  EXPECT_TRUE(ui::HasApplication());
  int fired = 0;
  QTimer::singleShot(0, [&fired] { ++fired; });
  console.AddLine("x");
  EXPECT_EQ(fired, 1);
  QTimer::singleShot(0, [&fired] { ++fired; });
  progress.StepLevel2("y");
  EXPECT_EQ(fired, 2);
  QTimer::singleShot(0, [&fired] { ++fired; });
  progress.SetInfoText("z");
  EXPECT_EQ(fired, 3);

  // Unwatched, hidden windows take a long run without waiting for anyone.
  progress.BeginCheckDb(1000);
  for (int i = 0; i < 1000; ++i) {
    progress.StepLevel0("phase " + std::to_string(i));
    console.AddLine("line " + std::to_string(i));
  }
  EXPECT_EQ(progress.Position(0), 1000);
  EXPECT_EQ(console.LineCount(), 1001);
}
