// The exception of the producer and updater components: carries the system's fixed English message.
#pragma once

#include <stdexcept>
#include <string>

class EComponentError : public std::runtime_error {
 public:
  explicit EComponentError(const std::string& aMessage) : std::runtime_error(aMessage) {}
};
