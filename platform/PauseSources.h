// What the live wallpaper learns from the system about whether anyone can
// see it: events the system sends (the session locked, the machine going to
// sleep, the power source changing) and facts it is asked for every couple
// of seconds (the screen's use, the power source). The program implements
// ISessionEvents; the Linux layer (platform/linux/SessionWatch, X11ScreenUse,
// PowerSource) calls and answers. Everything on the window's thread.
#pragma once

#include <optional>

class ISessionEvents {
 public:
  virtual ~ISessionEvents() = default;
  virtual void OnSessionLocked(bool locked) = 0;
  // Called with true before the machine sleeps: the caller holds the sleep
  // back until this returns; false once it is awake again.
  virtual void OnSystemSleeping(bool sleeping) = 0;
  // The machine was plugged in or unplugged: the power source is worth asking now.
  virtual void OnPowerSourceChanged() = 0;
};

// The screen as a poll sees it. Each fact is empty when it could not be
// read, which leaves the pause it stands for as it was.
struct TScreenUse {
  std::optional<bool> fullscreen;  // the active window fills a monitor (full-screen state or size)
  std::optional<bool> covered;     // normal windows hide every monitor whole
  std::optional<bool> displayOff;  // the display was put to sleep (power saving)
};

class IPauseProbe {
 public:
  virtual ~IPauseProbe() = default;
  virtual TScreenUse ScreenUse() = 0;
  // True on battery, false on mains; empty when the system has no answer.
  virtual std::optional<bool> OnBattery() = 0;
};
