// An in-memory message bus for the message tests: names owned by servers
// made on it answer through their handlers; other "programs" are a set of
// owned names with canned answers.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/IpcTransport.h"

class TFakeIpcTransport final : public IIpcTransport {
 public:
  struct TCall {
    std::string busName;
    std::string method;
    std::optional<std::string> text;
    int timeoutMs = 0;
  };

  // Names owned by other processes, with their answers by method (a method
  // missing here hangs: the call is not delivered).
  std::map<std::string, std::map<std::string, std::int32_t>> others;
  std::vector<TCall> calls;
  std::vector<std::pair<std::string, std::vector<std::string>>> started;
  bool startSucceeds = true;
  // After a successful start, the started live program owns its name once
  // this many sleeps have passed (-1: never).
  int appearsAfterSleeps = -1;
  std::string appearingName = "org.tessary.Live";
  // What the started program answers once it owns its name.
  std::map<std::string, std::int32_t> appearingAnswers = {{"Start", 1}};
  int sleeps = 0;
  int sleptMs = 0;

  std::unique_ptr<IIpcNameOwnership> OwnName(const TIpcService& service, TIpcMethodHandler handler) override {
    if (NameHasOwner(service.busName)) return nullptr;
    FServed[service.busName] = std::move(handler);
    return std::make_unique<TOwnership>(*this, service.busName);
  }

  bool NameHasOwner(const std::string& busName) override {
    return FServed.count(busName) > 0 || others.count(busName) > 0;
  }

  std::optional<std::int32_t> Call(const TIpcService& service, const std::string& method,
                                   const std::optional<std::string>& text, int timeoutMs) override {
    calls.push_back({service.busName, method, text, timeoutMs});
    if (auto served = FServed.find(service.busName); served != FServed.end())
      return served->second(method, text.value_or(std::string()));
    auto other = others.find(service.busName);
    if (other == others.end()) return std::nullopt;
    auto answer = other->second.find(method);
    if (answer == other->second.end()) return std::nullopt;
    return answer->second;
  }

  bool StartSiblingProgram(const std::string& programFile, const std::vector<std::string>& args) override {
    started.emplace_back(programFile, args);
    FSleepsSinceStart = 0;
    return startSucceeds;
  }

  void Sleep(int milliseconds) override {
    ++sleeps;
    sleptMs += milliseconds;
    if (!started.empty() && startSucceeds && ++FSleepsSinceStart == appearsAfterSleeps)
      for (const auto& [method, answer] : appearingAnswers) others[appearingName][method] = answer;
  }

  // The methods called, in order ("State", "Stop", ...).
  std::vector<std::string> Methods() const {
    std::vector<std::string> methods;
    for (const TCall& call : calls) methods.push_back(call.method);
    return methods;
  }

 private:
  class TOwnership final : public IIpcNameOwnership {
   public:
    TOwnership(TFakeIpcTransport& bus, std::string name) : FBus(bus), FName(std::move(name)) {}
    ~TOwnership() override { FBus.FServed.erase(FName); }

   private:
    TFakeIpcTransport& FBus;
    std::string FName;
  };

  std::map<std::string, TIpcMethodHandler> FServed;
  int FSleepsSinceStart = 0;
};
