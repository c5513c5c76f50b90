// How a component's progress window is placed: kept with the component's properties and applied
// to the window when the component creates it. Plain data, usable without windows.
#pragma once

class TProgressInfoOptions {
 public:
  // Numbers start at 0 and flags at False; the host streams its own values.
  TProgressInfoOptions() = default;
  virtual ~TProgressInfoOptions() = default;

  // A number below 1 stores the substitute: width 400, height 250, left 550, top 10.
  int width() const { return width_; }
  int height() const { return height_; }
  int left() const { return left_; }
  int top() const { return top_; }
  void SetWidth(int aValue) { width_ = aValue < 1 ? 400 : aValue; }
  void SetHeight(int aValue) { height_ = aValue < 1 ? 250 : aValue; }
  void SetLeft(int aValue) { left_ = aValue < 1 ? 550 : aValue; }
  void SetTop(int aValue) { top_ = aValue < 1 ? 10 : aValue; }

  bool showOnExecution = false;  // kept and streamed; no operation reads it
  bool leaveOpenedOnErrors = false;
  bool LeaveOpenedOnFinish = false;
  bool StayOnTop = false;

 private:
  int width_ = 0;
  int height_ = 0;
  int left_ = 0;
  int top_ = 0;
};
