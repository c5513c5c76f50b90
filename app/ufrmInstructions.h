// The instruction-log window: the SQL instructions a comparison produced, one after the other,
// with their count.
#pragma once

#include <QAbstractListModel>
#include <QDialog>
#include <QListView>
#include <QStringList>

#include "platform/data/DataSet.h"
#include "platform/ui/Application.h"

class QLabel;

// A read-only pane of text lines in one fixed-pitch font, with both scroll bars. It lays out only
// the lines in view, so a log of a million statements fills at once; it is as wide as its widest
// line, so every statement can be read to its end by scrolling sideways. A line longer than a
// window shows is cut there with "…"; selected lines are copied whole (Ctrl+C, or "Copy" in the
// pane's menu).
class TInstructionPane : public QListView {
 public:
  explicit TInstructionPane(QWidget* aParent = nullptr);
  void SetLines(const QStringList& aLines);
  // The lines joined by line ends.
  QString toPlainText() const;
  // The selected lines, whole and in order, joined by line ends.
  QString SelectedText() const;
  // Puts the selected lines on the clipboard.
  void CopySelection() const;
  bool isReadOnly() const { return true; }

 protected:
  void keyPressEvent(QKeyEvent* aEvent) override;

 private:
  // The lines as kept (whole) and as shown (cut).
  class Lines : public QAbstractListModel {
   public:
    void Set(const QStringList& aLines);
    // The size of every row; an invalid size lets the view measure them.
    void SetItemSize(const QSize& aSize);
    const QStringList& All() const { return lines_; }
    int rowCount(const QModelIndex& aParent) const override;
    QVariant data(const QModelIndex& aIndex, int aRole) const override;

   private:
    QStringList lines_;
    QSize itemSize_;
  };

  Lines model_;
};

class TfrmInstructions : private ui::ApplicationGuard, public QDialog {
 public:
  explicit TfrmInstructions(QWidget* aParent = nullptr);

  // Fills the pane from an instruction data set (a copy of it is kept); nothing without one.
  void ShowInstructions(const ado::TDataSet* aDataSet);

  TInstructionPane* txInstructions = nullptr;
  QLabel* txNrInstructions = nullptr;
  ado::TDataSet ds;
};
