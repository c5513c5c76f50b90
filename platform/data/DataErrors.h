// Exceptions of the data-access layer. Every failure carries a readable English message; server
// errors keep the server's own message text and, where the server has one, its error number.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace ado {

// Base of every data-access failure.
class EDataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value that cannot be converted to the type asked for.
class EVariantError : public EDataError {
 public:
  using EDataError::EDataError;
};

// A data-set failure (field not found, not in edit mode, closed data set, malformed file ...).
class EDatabaseError : public EDataError {
 public:
  using EDataError::EDataError;
};

// A failure reported by a provider or server: the message is the server's own text. A server
// that grades its errors also gives the severity (0 when it gives none), the state and the line
// of the batch where the failing statement starts (0 when unknown).
class EOleException : public EDataError {
 public:
  explicit EOleException(const std::string& message, int nativeError = 0,
                         std::string source = {})
      : EDataError(message), nativeError_(nativeError), source_(std::move(source)) {}
  int NativeError() const { return nativeError_; }
  const std::string& Source() const { return source_; }
  int Severity() const { return severity_; }
  int State() const { return state_; }
  int Line() const { return line_; }
  void SetGrade(int severity, int state) {
    severity_ = severity;
    state_ = state;
  }
  void SetLine(int line) { line_ = line; }
  // Informational messages the server sent after the error (such as "The statement has been
  // terminated."), in order.
  const std::vector<std::string>& Messages() const { return messages_; }
  void AddMessage(std::string text) { messages_.push_back(std::move(text)); }

 private:
  int nativeError_;
  std::string source_;
  int severity_ = 0;
  int state_ = 1;
  int line_ = 0;
  std::vector<std::string> messages_;
};

}  // namespace ado
