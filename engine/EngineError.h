// The exception the engine raises with its fixed English messages.
#pragma once

#include <stdexcept>

class EEngineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
