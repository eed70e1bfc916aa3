// Calls between our two programs. Each program owns one well-known name for
// as long as it runs (on Linux a name on the D-Bus session bus, owned without
// queueing, so the name doubles as a single-instance lock); the other one
// finds it by that name and calls its methods with a time-out. Every method
// takes no argument or one text and answers a 32-bit integer, which is all
// the two programs ever say to each other.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct TIpcMethod {
  std::string name;
  bool takesText = false;
};

// What one program offers: its well-known name and its methods.
struct TIpcService {
  std::string busName;        // "org.tessary.Live"
  std::string objectPath;     // "/org/tessary/Live"
  std::string interfaceName;  // "org.tessary.Live"
  std::vector<TIpcMethod> methods;
};

// Answers one call: the method's name and its text (empty for methods
// without one). Runs on the thread of the transport's main loop.
using TIpcMethodHandler = std::function<std::int32_t(const std::string& method, const std::string& text)>;

// Held while the name is ours; destroying it gives the name up.
class IIpcNameOwnership {
 public:
  virtual ~IIpcNameOwnership() = default;
};

// OwnName belongs to the thread of the main loop; the other calls may come
// from any thread (a caller waiting for an answer keeps the window free by
// asking from a worker thread).
class IIpcTransport {
 public:
  virtual ~IIpcTransport() = default;

  // Takes `service.busName` and answers its methods through `handler`.
  // nullptr when another process owns the name (it is never queued for).
  // Throws std::runtime_error when the bus cannot be reached.
  virtual std::unique_ptr<IIpcNameOwnership> OwnName(const TIpcService& service, TIpcMethodHandler handler) = 0;

  // Whether some process owns the name now.
  virtual bool NameHasOwner(const std::string& busName) = 0;

  // Calls `method` of the program owning `service.busName` and waits at most
  // `timeoutMs`. nullopt when the call did not return: no owner, time-out,
  // or any other failure.
  virtual std::optional<std::int32_t> Call(const TIpcService& service, const std::string& method,
                                           const std::optional<std::string>& text, int timeoutMs) = 0;

  // Starts `programFile` from the folder of our own program with `args`,
  // its working folder being that folder; nobody waits for it. False when
  // the file is missing or the process could not be created.
  virtual bool StartSiblingProgram(const std::string& programFile, const std::vector<std::string>& args) = 0;

  // Blocks the calling thread (the wait between looks for a starting peer).
  virtual void Sleep(int milliseconds) = 0;
};
