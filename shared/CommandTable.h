// The page's commands as a table the units fill: each row names a command,
// the handler that carries it out and the error event that answers its
// failure. Dispatch is the one boundary where every failure of a handler is
// caught, answered and logged, so none unwinds into the browser's callbacks.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "shared/JsonWriter.h"

using TEmitFn = std::function<void(const std::string& event, const TJson& payload)>;
// Answers a command's failure with its text; may be kept and called later,
// on the window's thread, when the command's work ends.
using TFailureReport = std::function<void(const std::string& text)>;

// How a failure of a command reaches the page: the event, then the command's
// request id member repeated, then fixed members, then the failure's text.
// An empty event: the failure is only logged (commands without an answer).
struct TErrorEvent {
  std::string event;
  std::string idMember;                // "requestId", "reqId" or empty
  std::string textMember = "message";  // "error" for some events
  std::vector<std::pair<std::string, std::string>> fixed;
};

// The common shape: `event` with `message`, after `idMember` when given.
TErrorEvent ErrorEvent(std::string event, std::string idMember = {});

// One command being handled.
struct TCommand {
  const TJson& message;  // the parsed message; gone once the handler returns
  TFailureReport fail;   // answers this command's error event
};

using TCommandHandler = std::function<void(const TCommand& command)>;

class TCommandTable {
 public:
  explicit TCommandTable(TEmitFn emit) : FEmit(std::move(emit)) {}

  // Appends a row. A name registered twice is a programming error (the
  // second row could never run) and throws std::logic_error.
  void Add(std::string name, TCommandHandler handler, TErrorEvent error = {});

  // Runs the row whose name equals the message's `cmd` exactly (letter case
  // counts); unknown commands are ignored without an answer. A handler that
  // throws is answered with its row's error event carrying the exception's
  // text, which is also logged.
  void Dispatch(const TJson& message) const;

  // Command names in table order.
  std::vector<std::string> Names() const;

 private:
  struct TRow {
    std::string name;
    TCommandHandler handler;
    TErrorEvent error;
  };
  TFailureReport FailureReport(const TRow& row, const TJson& message) const;

  TEmitFn FEmit;
  std::vector<TRow> FRows;
};
