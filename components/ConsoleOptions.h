// How a component's console window is placed and styled: kept with the component's properties and
// applied to the window when the component creates it. Plain data, so that code without windows
// can hold and stream it.
#pragma once

#include <cstdint>
#include <string>

// A colour as the original platform stores it: 0x00BBGGRR.
using TColor = std::uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clYellow = 0x00FFFF;

enum TFontPitch { fpDefault, fpVariable, fpFixed };

// Font styles, combined as bit flags.
enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = unsigned;

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// The font of the console: Height is in pixels (negative: character height), Size in points.
struct TFontOptions {
  TColor Color = clYellow;
  int Height = -13;
  std::string Name = "courier New";
  TFontPitch Pitch = fpDefault;
  int Size = 10;
  TFontStyles Style = 0;
};

class TConsoleOptions {
 public:
  TConsoleOptions() = default;
  virtual ~TConsoleOptions() = default;

  int width = 600;
  int height = 350;
  int left = 10;
  int top = 100;
  bool showOnExecution = false;  // kept and streamed; no operation reads it
  TFontOptions font;
  TColor color = clBlack;
  std::string prompt = "Console:>";
  TScrollStyle scrollBars = ssBoth;
  bool leaveOpenedOnErrors = true;
  bool LeaveOpenedOnFinish = false;
  bool StayOnTop = true;
};
