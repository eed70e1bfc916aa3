#include "shared/CommandTable.h"

#include <exception>
#include <stdexcept>

#include "shared/CommandFields.h"
#include "shared/Diagnostics.h"
#include "shared/TextUtil.h"

TErrorEvent ErrorEvent(std::string event, std::string idMember) {
  TErrorEvent error;
  error.event = std::move(event);
  error.idMember = std::move(idMember);
  return error;
}

void TCommandTable::Add(std::string name, TCommandHandler handler, TErrorEvent error) {
  for (const TRow& row : FRows) {
    if (row.name == name) throw std::logic_error("command registered twice: " + name);
  }
  FRows.push_back({std::move(name), std::move(handler), std::move(error)});
}

std::vector<std::string> TCommandTable::Names() const {
  std::vector<std::string> names;
  for (const TRow& row : FRows) names.push_back(row.name);
  return names;
}

// Copies what the answer needs, so it can be given after the message is gone.
TFailureReport TCommandTable::FailureReport(const TRow& row, const TJson& message) const {
  const std::string id = row.error.idMember.empty() ? std::string() : FieldText(message, row.error.idMember.c_str());
  return [emit = FEmit, error = row.error, name = row.name, id](const std::string& failure) {
    // Library messages may end in a line break the page would show.
    const std::string trimmed = TrimSpace(failure);
    const std::string text = trimmed.empty() ? name + " failed" : trimmed;
    LogDiagnostic(name, id.empty() ? text : id + ": " + text);
    if (error.event.empty()) return;
    TJson payload = TJson::object();
    if (!error.idMember.empty()) payload[error.idMember] = id;
    for (const auto& [member, value] : error.fixed) payload[member] = value;
    payload[error.textMember] = text;
    emit(error.event, payload);
  };
}

void TCommandTable::Dispatch(const TJson& message) const {
  const std::string cmd = FieldText(message, "cmd");
  for (const TRow& row : FRows) {
    if (row.name != cmd) continue;
    const TCommand command{message, FailureReport(row, message)};
    std::string failure;
    try {
      row.handler(command);
      return;
    } catch (const std::exception& error) {
      failure = error.what();
    } catch (...) {
      // not an exception of ours: the row's own "failed" text stands in
    }
    // Answering must not throw either: this is the last place to stop it.
    try {
      command.fail(failure);
    } catch (const std::exception& error) {
      LogDiagnostic(cmd, std::string("the failure could not be answered: ") + error.what());
    } catch (...) {
      LogDiagnostic(cmd, "the failure could not be answered");
    }
    return;
  }
}
